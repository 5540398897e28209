#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/types.h"
#include "simd/code_walk.h"

namespace charlib {

// Characters in order of first arrival, with counts when counting. For the
// Basic Multilingual Plane a bit tells whether a character has been seen
// and a table holds its count; a map serves the rare others.
class CharacterSet {
public:
    explicit CharacterSet(bool counting) : counting_(counting), counts_(counting ? 0x10000 : 0) { }

    void insert(char32_t c, std::uint64_t times = 1)
    {
        if (c >= 0x10000) return insert_other(c, times);
        if (counting_) counts_[c] += times;
        if (!(seen_[c >> 6] >> (c & 63) & 1)) add(c);
    }
    void insert(std::u32string_view text)
    {
        for (char32_t c : text)
            insert(c);
    }
    // The characters of UTF-8 bytes (followed by readable padding, see for_each_code_point).
    void insert_utf8(std::string_view bytes)
    {
        for_each_code_point(
            bytes, [this](char32_t c) { insert(c); }, nullptr, known());
    }
    // Whole lines with their line ends.
    void insert_utf8_text(std::string_view bytes, bool& after_cr, bool any_newline)
    {
        for_each_code_point<true>(
            bytes, [this](char32_t c) { insert(c); }, &after_cr, known(), any_newline);
    }
    void insert(const Tally& more)
    {
        for (std::size_t i = 0; i < more.characters.size(); ++i)
            insert(more.characters[i], more.counts.empty() ? 1 : more.counts[i]);
    }
    void insert(const CharacterSet& held)
    {
        for (char32_t c : held.characters_)
            insert(c, held.count(c));
    }
    void clear()
    {
        for (char32_t c : characters_)
            if (c < 0x10000) {
                seen_[c >> 6] &= ~(std::uint64_t{1} << (c & 63));
                if (counting_) counts_[c] = 0;
            }
        others_.clear();
        characters_.clear();
    }
    std::uint64_t count(char32_t c) const
    {
        if (!counting_) return 1;
        return c < 0x10000 ? counts_[c] : others_.at(c);
    }
    Tally take()
    {
        Tally tally{std::move(characters_), {}};
        if (counting_)
            for (char32_t c : tally.characters)
                tally.counts.push_back(count(c));
        return tally;
    }

private:
    // The seen flags, for walks that may pass over known characters; none when every arrival counts.
    const std::uint64_t* known() const { return counting_ ? nullptr : seen_.data(); }
    [[gnu::noinline]] void add(char32_t c)
    {
        seen_[c >> 6] |= std::uint64_t{1} << (c & 63);
        characters_ += c;
    }
    void insert_other(char32_t c, std::uint64_t times)
    {
        const auto [place, added] = others_.try_emplace(c, 0);
        if (counting_) place->second += times;
        if (added) characters_ += c;
    }

    bool counting_;
    std::array<std::uint64_t, 0x10000 / 64> seen_{};
    std::vector<std::uint64_t> counts_;
    std::unordered_map<char32_t, std::uint64_t> others_;  // beyond the BMP, with counts
    std::u32string characters_;
};

}  // namespace charlib
