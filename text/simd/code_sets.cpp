#include "simd/code_sets.h"

#include <cstdlib>
#include <new>

namespace charlib {

CountTable::CountTable(bool wanted)
{
    if (!wanted) return;
    // calloc maps fresh zero pages for a table this large: nothing to fill.
    counts_.reset(static_cast<std::uint64_t*>(std::calloc(0x10000, sizeof(std::uint64_t))));
    if (!counts_) throw std::bad_alloc();
}

void CountTable::Free::operator()(std::uint64_t* counts) const
{
    std::free(counts);
}

void CodeSet::add(GbkCode code)
{
    seen_[code >> 5] |= std::uint32_t{1} << (code & 31);
    order_.push_back(code);
}

void CodeSet::insert(const CodeSet& held)
{
    for (GbkCode code : held.order_) {
        if (counting()) counts_[code] += held.counts_[code] - 1;
        insert(code);
    }
}

void CodeSet::clear()
{
    for (GbkCode code : order_) {
        seen_[code >> 5] &= ~(std::uint32_t{1} << (code & 31));
        if (counting()) counts_[code] = 0;
    }
    order_.clear();
}

void CharacterSet::add(char32_t c)
{
    seen_[c >> 6] |= std::uint64_t{1} << (c & 63);
    characters_ += c;
}

void CharacterSet::insert_other(char32_t c, std::uint64_t times)
{
    const auto [place, added] = others_.try_emplace(c, 0);
    if (counting_) place->second += times;
    if (added) characters_ += c;
}

void CharacterSet::insert(const Tally& more)
{
    for (std::size_t i = 0; i < more.characters.size(); ++i)
        insert(more.characters[i], more.counts.empty() ? 1 : more.counts[i]);
}

void CharacterSet::insert(const CharacterSet& held)
{
    for (char32_t c : held.characters_)
        insert(c, held.count(c));
}

void CharacterSet::clear()
{
    for (char32_t c : characters_)
        if (c < 0x10000) {
            seen_[c >> 6] &= ~(std::uint64_t{1} << (c & 63));
            if (counting_) counts_[c] = 0;
        }
    others_.clear();
    characters_.clear();
}

std::uint64_t CharacterSet::count(char32_t c) const
{
    if (!counting_) return 1;
    return c < 0x10000 ? counts_[c] : others_.at(c);
}

Tally CharacterSet::take()
{
    Tally tally{std::move(characters_), {}};
    if (counting_)
        for (char32_t c : tally.characters)
            tally.counts.push_back(count(c));
    return tally;
}

}  // namespace charlib
