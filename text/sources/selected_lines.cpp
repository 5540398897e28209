#include "selected_lines.h"

#include <limits>
#include <string>

#include "codec/stream_decoder.h"

namespace charlib {

void for_each_selected_line(InputFile& file, SourceFormat format, const Selection& selection,
    const std::function<bool(std::uint64_t number, std::u32string_view line)>& visit)
{
    constexpr std::uint64_t none = std::numeric_limits<std::uint64_t>::max();
    StreamDecoder decoder(format.encoding);
    std::u32string line;
    std::uint64_t index = 0;  // of the line being read, from 0
    std::uint64_t wanted = none;  // the line an offset jumps to
    bool after_cr = false, ended = false, stopped = false;
    // The rules of extraction: a line with the marker (any non-empty line
    // without one) is taken, or the line `offset` after it; a jump does not
    // test the lines it passes over.
    const auto end_line = [&] {
        if (wanted != none) {
            if (index == wanted) {
                stopped = !visit(index + 1, line);
                wanted = none;
            }
        } else if (selection.marker.empty() ? !line.empty()
                                            : line.find(selection.marker) != std::u32string::npos) {
            if (selection.offset == 0)
                stopped = !visit(index + 1, line);
            else
                wanted = index + static_cast<std::uint64_t>(selection.offset);
        }
        line.clear();
        ++index;
    };
    std::string buffer(default_buffer_size, '\0');
    std::uint64_t at = 0;
    for (bool last = false; !last && !ended && !stopped;) {
        const std::size_t count = file.read_at(at, buffer.data(), buffer.size());
        at += count;
        last = count == 0;
        for (char32_t c : decoder.decode({buffer.data(), count}, last, nullptr)) {
            if (c == U'\x1A') {
                ended = true;  // Control-Z ends the text, as in DOS
                break;
            }
            if (after_cr) {
                after_cr = false;
                if (c == U'\n') continue;
            }
            if (c == U'\r') {
                after_cr = true;
                end_line();
            } else if (c == U'\n' && format.newline == Newline::Any) {
                end_line();
            } else {
                line += c;
            }
            if (stopped) break;
        }
    }
    if (!stopped && !line.empty()) end_line();
}

}  // namespace charlib
