#include "places.h"

#include <vector>

#include "selected_lines.h"

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
    if (characters.empty()) return;
    // A character with all its places costs one bit test a time it occurs again.
    std::vector<bool> placed(0x10000);
    std::size_t unplaced = characters.size();
    for_each_selected_line(file, format, selection, [&](std::uint64_t number, std::u32string_view line) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char32_t c = line[i];
            if (c < 0x10000 && placed[c]) continue;
            std::vector<Place>& list = places[c];
            if (list.size() >= most) continue;
            list.push_back({source, number, i + 1, {}, context_around(line, i)});
            if (list.size() == most) {
                if (c < 0x10000) placed[c] = true;
                if (unplaced > 0) --unplaced;
            }
        }
        return unplaced > 0;  // the reading stops once every character has its places
    });
}

}  // namespace charlib
