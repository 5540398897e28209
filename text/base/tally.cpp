#include <unordered_map>

#include "base/types.h"

namespace charlib {

void Tally::add(const Tally& later)
{
    lines += later.lines;
    selected_lines += later.selected_lines;
    const bool counted = !counts.empty() || !later.counts.empty();
    if (counted) counts.resize(characters.size(), 1);
    std::unordered_map<char32_t, std::size_t> place;
    place.reserve(characters.size() + later.characters.size());
    for (std::size_t i = 0; i < characters.size(); ++i)
        place.emplace(characters[i], i);
    for (std::size_t i = 0; i < later.characters.size(); ++i) {
        const std::uint64_t times = later.counts.empty() ? 1 : later.counts[i];
        const auto [at, added] = place.try_emplace(later.characters[i], characters.size());
        if (added) {
            characters += later.characters[i];
            if (counted) counts.push_back(times);
        } else if (counted) {
            counts[at->second] += times;
        }
    }
}

}  // namespace charlib
