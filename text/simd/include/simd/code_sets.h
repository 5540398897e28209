#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/types.h"

// The sets the walks put characters in (kernel.h): distinct characters in
// order of first arrival, with every arrival counted when counting.
namespace charlib {

// A character of code page 936 named by its bytes: a single byte is its own
// code, a double-byte character its two bytes read as a little-endian
// number, lead + trail * 256 (at least 0x4000, since trail bytes are at
// least 0x40, so the two never meet).
using GbkCode = std::uint16_t;

// A count for every 16-bit value, zeroed by the system a page at a time as
// the pages are first touched rather than filled up front: a set made for a
// few lines, as every small file and part needs, costs little.
class CountTable {
public:
    explicit CountTable(bool wanted);
    explicit operator bool() const { return counts_ != nullptr; }
    std::uint64_t& operator[](std::size_t i) { return counts_.get()[i]; }
    std::uint64_t operator[](std::size_t i) const { return counts_.get()[i]; }

private:
    struct Free {
        void operator()(std::uint64_t* counts) const;
    };
    std::unique_ptr<std::uint64_t, Free> counts_;
};

// Membership is one bit test; a walk that may pass over known codes reads
// the bits, none when counting, since then every arrival counts.
class CodeSet {
public:
    explicit CodeSet(bool counting) : counts_(counting) { }

    void insert(GbkCode code)
    {
        if (counting()) ++counts_[code];
        if (!(seen_[code >> 5] >> (code & 31) & 1)) add(code);
    }
    // Takes the codes of `held`, with their counts.
    void insert(const CodeSet& held);
    void clear();

    bool counting() const { return static_cast<bool>(counts_); }
    const std::vector<GbkCode>& codes() const { return order_; }
    std::uint64_t count(GbkCode code) const { return counting() ? counts_[code] : 1; }
    // A bit a code, or null when counting.
    const std::uint32_t* known() const { return counting() ? nullptr : seen_.data(); }

private:
    // Out of line, so that the test above stays small enough to inline.
    void add(GbkCode code);

    std::array<std::uint32_t, 65536 / 32> seen_{};
    std::vector<GbkCode> order_;
    CountTable counts_;
};

// Characters: for the Basic Multilingual Plane a bit tells whether one has
// been seen and a table holds its count; a map serves the rare others.
class CharacterSet {
public:
    explicit CharacterSet(bool counting) : counting_(counting), counts_(counting) { }

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
    void insert(const Tally& more);
    void insert(const CharacterSet& held);
    void clear();

    std::uint64_t count(char32_t c) const;
    Tally take();
    // A bit a character of the Basic Multilingual Plane, or null when counting.
    const std::uint64_t* known() const { return counting_ ? nullptr : seen_.data(); }

private:
    void add(char32_t c);
    void insert_other(char32_t c, std::uint64_t times);

    bool counting_;
    std::array<std::uint64_t, 0x10000 / 64> seen_{};
    CountTable counts_;
    std::unordered_map<char32_t, std::uint64_t> others_;  // beyond the BMP, with counts
    std::u32string characters_;
};

}  // namespace charlib
