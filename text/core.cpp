#include "text/core.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "text/codepage.h"
#include "text/input_file.h"
#include "text/line_reader.h"
#include "text/output_file.h"

namespace charlib {

ScanResult scan(const std::filesystem::path& path)
{
    InputFile file(path);
    const std::unique_ptr<char[]> buffer(new char[default_buffer_size]);  // not zeroed: read over at once
    std::uint64_t offset = 0;
    while (const std::size_t count = file.read(buffer.get(), default_buffer_size)) {
        if (const void* hit = std::memchr(buffer.get(), 0x1A, count))
            return {ScanStatus::ControlZ,
                offset + static_cast<std::uint64_t>(static_cast<const char*>(hit) - buffer.get()) + 1};
        offset += count;
    }
    return {offset == 0 ? ScanStatus::Empty : ScanStatus::Clean, 0};
}

LoadResult load(const std::filesystem::path& path, std::size_t limit)
{
    LoadResult result;
    LineReader reader;
    reader.open(path);
    while (!reader.at_end()) {
        if (result.lines.size() == limit) {
            result.over_limit = true;
            break;
        }
        result.lines.push_back(reader.read_line());
    }
    return result;
}

std::vector<std::u16string> filter(
    const std::vector<std::u16string>& lines, std::u16string_view marker, double offset)
{
    std::vector<std::u16string> selected;
    // The window refuses a negative offset; here it selects nothing rather
    // than jumping backwards for ever.
    if (offset < 0) return selected;
    const auto begins_with_marker = [&](std::u16string_view line) {
        // An empty marker begins every non-empty line and no empty one.
        return !line.empty() && line.substr(0, marker.size()) == marker;
    };
    for (std::int64_t i = 0; i < static_cast<std::int64_t>(lines.size()); ++i) {
        if (!begins_with_marker(lines[static_cast<std::size_t>(i)])) continue;
        i = whole(static_cast<double>(i) + offset);
        // A jump past the last line ends the scan with nothing taken.
        if (i < 0 || i >= static_cast<std::int64_t>(lines.size())) break;
        selected.push_back(lines[static_cast<std::size_t>(i)]);
    }
    return selected;
}

std::u16string sort_charset(std::u16string_view text)
{
    std::u16string sorted(text);
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

void write_charset(const std::filesystem::path& path, std::u16string_view text)
{
    replace_file(path, encode(text) + "\r\n");
}

}  // namespace charlib
