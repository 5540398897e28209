#include "actions/actions.h"

#include <algorithm>

#include "codec/code_page_936.h"
#include "codec/utf.h"
#include "extract/extract.h"
#include "extract/line_reader.h"
#include "files/input_file.h"
#include "files/output_file.h"

namespace charlib {

ScanResult scan(const std::filesystem::path& path)
{
    const ByteSearch search = find_byte(path, 0x1A);
    if (search.found) return {ScanStatus::ControlZ, *search.found + 1};
    return {search.read == 0 ? ScanStatus::Empty : ScanStatus::Clean, 0};
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

std::u16string extract(const std::filesystem::path& path, std::u16string_view marker, std::int64_t offset,
    std::size_t buffer_size, const Tuning& tuning)
{
    const Tally tally = extract_source(path, {}, {code_points(marker), offset}, buffer_size, tuning);
    return std::u16string(tally.characters.begin(), tally.characters.end());  // code page 936 is all BMP
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
