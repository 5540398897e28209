#include "places.h"

#include <limits>
#include <vector>

#include "codec/stream_decoder.h"

namespace charlib {

namespace {

// About 40 characters around the one at `at`.
std::u32string context_around(std::u32string_view text, std::size_t at)
{
    constexpr std::size_t before = 20, width = 40;
    const std::size_t start = at > before ? at - before : 0;
    const std::size_t end = std::min(text.size(), start + width);
    return (start > 0 ? U"…" : U"") + std::u32string(text.substr(start, end - start)) +
        (end < text.size() ? U"…" : U"");
}

}  // namespace

void note_places(std::u32string_view text, const std::filesystem::path& source, std::uint64_t line,
    std::uint64_t column, const std::string& key, std::size_t most, Places& places)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::vector<Place>& list = places[text[i]];
        if (list.size() < most) list.push_back({source, line, column + i, key, context_around(text, i)});
    }
}

void locate_in_lines(InputFile& file, const std::filesystem::path& source, SourceFormat format,
    const Selection& selection, std::u32string_view characters, std::size_t most, Places& places)
{
    constexpr std::uint64_t none = std::numeric_limits<std::uint64_t>::max();
    StreamDecoder decoder(format.encoding);
    std::u32string line;
    std::uint64_t index = 0;  // of the line being read, from 0
    std::uint64_t wanted = none;  // the line an offset jumps to
    bool after_cr = false, ended = false;
    // A character with all its places costs one bit test a time it occurs again.
    std::vector<bool> placed(0x10000);
    std::size_t unplaced = characters.size();
    const auto note_line = [&](std::uint64_t line_number) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char32_t c = line[i];
            if (c < 0x10000 && placed[c]) continue;
            std::vector<Place>& list = places[c];
            if (list.size() >= most) continue;
            list.push_back({source, line_number, i + 1, {}, context_around(line, i)});
            if (list.size() == most) {
                if (c < 0x10000) placed[c] = true;
                if (unplaced > 0) --unplaced;
            }
        }
    };
    // The rules of extraction: a line with the marker (any non-empty line
    // without one) is taken, or the line `offset` after it; a jump does not
    // test the lines it passes over.
    const auto end_line = [&] {
        if (wanted != none) {
            if (index == wanted) {
                note_line(index + 1);
                wanted = none;
            }
        } else if (selection.marker.empty() ? !line.empty()
                                            : line.find(selection.marker) != std::u32string::npos) {
            if (selection.offset == 0)
                note_line(index + 1);
            else
                wanted = index + static_cast<std::uint64_t>(selection.offset);
        }
        line.clear();
        ++index;
    };
    std::string buffer(default_buffer_size, '\0');
    std::uint64_t at = 0;
    for (bool last = false; !last && !ended && unplaced > 0;) {
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
        }
    }
    if (!line.empty()) end_line();
}

}  // namespace charlib
