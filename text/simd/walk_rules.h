#pragma once

#include <cstdint>
#include <string_view>

#include "codec/utf.h"
#include "simd/kernel.h"

// What every kernel shares: the line-end rule, one character at a time and
// over a block's bit masks, and where the walks put what they find. Included
// before any instruction set is chosen, so that each kernel inlines the same
// plain code.
namespace charlib {

// True when the character ends a line: see LineEnds.
[[gnu::always_inline]] inline bool ends_line(char32_t c, LineEnds& ends)
{
    const bool line_end = c == U'\r' || (c == U'\n' && (ends.after_cr || ends.any_newline));
    ends.after_cr = c == U'\r';
    return line_end;
}

// The same over `count` bytes (up to 64) from their CR and LF bits: bit j
// set where byte j ends a line.
[[gnu::always_inline]] inline std::uint64_t line_end_bits(
    std::uint64_t cr, std::uint64_t lf, std::size_t count, LineEnds& ends)
{
    const std::uint64_t lf_ends = ends.any_newline ? ~std::uint64_t{0} : cr << 1 | ends.after_cr;
    ends.after_cr = cr >> (count >= 64 ? 63 : count - 1) & 1;
    return cr | (lf & lf_ends);
}

// A walk into a buffer may fill it just after the CR of a CR LF: the LF
// belongs to that line end, so the walk takes it too, and the next walk, which
// starts afresh, never reads it as a character. Where the walk stops.
[[gnu::always_inline]] inline std::size_t past_line_end(
    std::string_view bytes, std::size_t read, const LineEnds& ends)
{
    return ends.after_cr && !ends.any_newline && read < bytes.size() && bytes[read] == '\n' ? read + 1 : read;
}

// Bit j set where a double-byte character begins at byte j. `could_pair`
// marks lead bytes followed by a trail byte; in a run of them, characters
// pair up from the run's start, since 0x81-0xFE are both lead and trail
// bytes. `first_is_trail` says byte 0 ends a character begun before.
[[gnu::always_inline]] inline std::uint64_t pair_starts(std::uint64_t could_pair, bool first_is_trail)
{
    constexpr std::uint64_t even = 0x5555555555555555;
    const std::uint64_t run_starts = could_pair & ~(could_pair << 1 | first_is_trail);
    // Adding a run's start bit clears the whole run: what is cleared ran from an even start.
    const std::uint64_t even_runs = could_pair & ~(could_pair + (run_starts & even));
    return (even_runs & even) | (could_pair & ~even_runs & ~even);
}

// UTF-8's sequences one at a time, up to `end` or a sequence it may cut off.
[[gnu::always_inline]] inline const unsigned char* count_utf8_steps(
    const unsigned char* p, const unsigned char* end, SequenceCounts& counts)
{
    while (p < end) {
        const Utf8Character one = decode_one(p, end);
        if (one.cut_off) break;
        if (!one.well_formed)
            ++counts.invalid;
        else if (one.value >= 0x80)
            ++counts.valid;
        p += one.length;
    }
    return p;
}

// Where a walk puts characters: into a set, which may let it pass over what
// it already holds, or into a buffer, which fills.
template <class Set> struct IntoSet {
    static constexpr bool passes_known = true;
    Set& set;
    auto known() const { return set.known(); }
    void take(auto c) { set.insert(c); }
    static constexpr bool full() { return false; }
};

template <class Character> struct IntoBuffer {
    static constexpr bool passes_known = false;
    Character* out;
    std::size_t count = 0;
    void take(Character c) { out[count++] = c; }
    // A block gives up to 64 characters.
    bool full() const { return count + 64 > walk_batch; }
};

}  // namespace charlib
