#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#ifdef __SSE2__
#include <immintrin.h>
#endif

#include "codec/code_page_936.h"
#include "codec/utf.h"

// Finding the characters of code page 936 bytes fast, without decoding them.
// Each character is named by its code: a single byte is its own code, a
// double-byte character is its two bytes read as a little-endian number,
// lead + trail * 256 (at least 0x4000, since trail bytes are at least 0x40,
// so the two never meet).
namespace charlib {

using Code = std::uint16_t;

// The walks read whole blocks: the bytes they are given must be followed by
// this many readable bytes, whose values do not matter.
inline constexpr std::size_t piece_padding = 80;

#ifdef __SSE2__
// Bit j set where byte j of the 64 is a lead byte (0x81-0xFE) and where it
// is a trail byte (0x40-0xFE but 0x7F).
struct ByteClasses {
    std::uint64_t lead = 0;
    std::uint64_t trail = 0;
    std::uint64_t cr = 0;
    std::uint64_t lf = 0;
};

inline ByteClasses classify(const unsigned char* bytes, const unsigned char* next_bytes)
{
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_set1_epi8(0x7F);
    const __m128i minus_one = _mm_set1_epi8(-1);
    const __m128i below_trail = _mm_set1_epi8(-65);  // 0x3F after the flip
    ByteClasses classes;
    for (int part = 0; part < 4; ++part) {
        // With the top bit flipped, byte ranges become plain signed ranges.
        const __m128i b =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part)), flip);
        const __m128i n =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(next_bytes + 16 * part)), flip);
        const __m128i lead = _mm_andnot_si128(_mm_cmpeq_epi8(b, top), _mm_cmpgt_epi8(b, zero));
        const __m128i trail =
            _mm_andnot_si128(_mm_or_si128(_mm_cmpeq_epi8(n, top), _mm_cmpeq_epi8(n, minus_one)),
                _mm_cmpgt_epi8(n, below_trail));
        const __m128i cr = _mm_cmpeq_epi8(b, _mm_set1_epi8(static_cast<char>('\r' ^ 0x80)));
        const __m128i lf = _mm_cmpeq_epi8(b, _mm_set1_epi8(static_cast<char>('\n' ^ 0x80)));
        const auto bits = [part](__m128i mask) {
            return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(mask)))
                << (16 * part);
        };
        classes.lead |= bits(lead);
        classes.trail |= bits(trail);
        classes.cr |= bits(cr);
        classes.lf |= bits(lf);
    }
    return classes;
}

// The same with AVX2, 32 bytes a step.
[[gnu::target("avx2")]] inline ByteClasses classify_avx2(const unsigned char* bytes)
{
    const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi8(0x7F);
    const __m256i minus_one = _mm256_set1_epi8(-1);
    const __m256i below_trail = _mm256_set1_epi8(-65);
    ByteClasses classes;
    for (int part = 0; part < 2; ++part) {
        const __m256i b =
            _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * part)), flip);
        const __m256i n = _mm256_xor_si256(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * part + 1)), flip);
        const __m256i lead = _mm256_andnot_si256(_mm256_cmpeq_epi8(b, top), _mm256_cmpgt_epi8(b, zero));
        const __m256i trail =
            _mm256_andnot_si256(_mm256_or_si256(_mm256_cmpeq_epi8(n, top), _mm256_cmpeq_epi8(n, minus_one)),
                _mm256_cmpgt_epi8(n, below_trail));
        const __m256i cr = _mm256_cmpeq_epi8(b, _mm256_set1_epi8(static_cast<char>('\r' ^ 0x80)));
        const __m256i lf = _mm256_cmpeq_epi8(b, _mm256_set1_epi8(static_cast<char>('\n' ^ 0x80)));
        const int shift = 32 * part;
        classes.lead |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(lead))} << shift;
        classes.trail |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(trail))} << shift;
        classes.cr |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(cr))} << shift;
        classes.lf |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(lf))} << shift;
    }
    return classes;
}

[[gnu::target("avx2")]] inline void codes_of_block_avx2(
    const unsigned char* bytes, std::uint64_t pairs, std::uint16_t* codes)
{
    const __m256i bit_of_byte = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201));
    for (int part = 0; part < 2; ++part) {
        // Byte k of the part's 32 pair bits goes to bytes 8k to 8k + 7.
        const __m256i all = _mm256_set1_epi32(static_cast<int>(pairs >> (32 * part)));
        const __m256i spread = _mm256_shuffle_epi8(all,
            _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3,
                3, 3, 3, 3, 3));
        const __m256i pair_bytes = _mm256_cmpeq_epi8(_mm256_and_si256(spread, bit_of_byte), bit_of_byte);
        const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * part));
        const __m256i second = _mm256_and_si256(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * part + 1)), pair_bytes);
        // The unpacks work within 128-bit lanes; put the halves back in order.
        const __m256i low = _mm256_unpacklo_epi8(first, second);
        const __m256i high = _mm256_unpackhi_epi8(first, second);
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(codes + 32 * part), _mm256_permute2x128_si256(low, high, 0x20));
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(codes + 32 * part + 16), _mm256_permute2x128_si256(low, high, 0x31));
    }
}

// The code of a character beginning at each of the 64 bytes: the byte alone,
// or with the next byte above it where `pairs` says a pair begins there.
inline void codes_of_block(const unsigned char* bytes, std::uint64_t pairs, std::uint16_t* codes)
{
    const __m128i bit_of_byte = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201));
    for (int part = 0; part < 4; ++part) {
        // Spread the part's 16 pair bits over 16 bytes: 0xFF where a pair begins.
        const std::uint64_t low = (pairs >> (16 * part)) & 0xFF;
        const std::uint64_t high = (pairs >> (16 * part + 8)) & 0xFF;
        const __m128i spread = _mm_set_epi64x(static_cast<long long>(high * 0x0101010101010101),
            static_cast<long long>(low * 0x0101010101010101));
        const __m128i pair_bytes = _mm_cmpeq_epi8(_mm_and_si128(spread, bit_of_byte), bit_of_byte);
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
        const __m128i second = _mm_and_si128(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part + 1)), pair_bytes);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(codes + 16 * part), _mm_unpacklo_epi8(first, second));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(codes + 16 * part + 8), _mm_unpackhi_epi8(first, second));
    }
}

// Bit j set where codes[j] is set in `seen`, one bit a code, for 64 codes,
// with AVX2's gather: most characters of a text are known after its first
// pages, and this tests 8 of them at once in a table that stays in L1.
[[gnu::target("avx2")]] inline std::uint64_t seen_codes_avx2(
    const std::uint16_t* codes, const std::uint32_t* seen)
{
    std::uint64_t mask = 0;
    for (int part = 0; part < 8; ++part) {
        const __m256i code =
            _mm256_cvtepu16_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(codes + 8 * part)));
        const __m256i words =
            _mm256_i32gather_epi32(reinterpret_cast<const int*>(seen), _mm256_srli_epi32(code, 5), 4);
        const __m256i bits = _mm256_srlv_epi32(words, _mm256_and_si256(code, _mm256_set1_epi32(31)));
        const __m256i known = _mm256_slli_epi32(bits, 31);  // the code's bit, moved to the sign
        mask |= static_cast<std::uint64_t>(_mm256_movemask_ps(_mm256_castsi256_ps(known))) << (8 * part);
    }
    return mask;
}

// Whether to take the AVX2 steps; tests turn it off to check the SSE2 ones.
inline bool use_avx2 = [] {
    __builtin_cpu_init();  // may run before the library's own start-up detection
    return __builtin_cpu_supports("avx2") != 0;
}();

// Bit j set where a double-byte character begins at byte j. `could_pair`
// marks lead bytes followed by a trail byte; in a run of them, characters
// pair up from the run's start. `first_is_trail` says byte 0 ends a
// character begun in the block before.
inline std::uint64_t pair_starts(std::uint64_t could_pair, bool first_is_trail)
{
    constexpr std::uint64_t even = 0x5555555555555555;
    const std::uint64_t run_starts = could_pair & ~(could_pair << 1 | first_is_trail);
    // Adding a run's start bit clears the whole run: what is cleared ran from an even start.
    const std::uint64_t even_runs = could_pair & ~(could_pair + (run_starts & even));
    return (even_runs & even) | (could_pair & ~even_runs & ~even);
}
#endif

// Calls visit(code) for each character of the bytes, first to last. They
// must be followed by readable bytes (ByteLines keeps some after its
// buffer); their values do not matter. With Text set, the bytes are whole
// lines with their line ends, which are passed over: every CR, and the LF of
// each CR LF, or every LF with `any_newline` (`after_cr` carries a CR at the
// end over to the next call).
//
// Codes set in `known` (a set's own membership bits, one a code) may be passed over.
template <bool Text = false, class Visit>
inline void for_each_code(std::string_view bytes, Visit&& visit, bool* after_cr = nullptr,
    const std::uint32_t* known = nullptr, bool any_newline = false)
{
    auto p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto end = p + bytes.size();
#ifdef __SSE2__
    // 64 bytes at a time: the character boundaries come from bit masks, not
    // from a byte-by-byte walk whose every step waits for the one before.
    bool first_is_trail = false;
    for (; p < end; p += 64) {
        const auto left = static_cast<std::size_t>(end - p);
        const std::uint64_t valid = left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
        // The last byte has no trail byte after it.
        const std::uint64_t pairable = left > 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (left - 1)) - 1;
        const ByteClasses classes = use_avx2 ? classify_avx2(p) : classify(p, p + 1);
        const std::uint64_t pairs = pair_starts(classes.lead & classes.trail & pairable, first_is_trail);
        std::uint64_t starts = ~(pairs << 1 | first_is_trail) & valid;
        if constexpr (Text) {
            const std::uint64_t lf_ends = any_newline ? ~std::uint64_t{0} : classes.cr << 1 | *after_cr;
            starts &= ~(classes.cr | (lf_ends & classes.lf));
            *after_cr = classes.cr >> (left >= 64 ? 63 : left - 1) & 1;
        }
        alignas(16) std::uint16_t codes[64];
        if (use_avx2) {
            codes_of_block_avx2(p, pairs, codes);
            if (known) starts &= ~seen_codes_avx2(codes, known);
        } else {
            codes_of_block(p, pairs, codes);
        }
        while (starts) {
            visit(codes[__builtin_ctzll(starts)]);
            starts &= starts - 1;
        }
        first_is_trail = pairs >> 63;
    }
#else
    while (p < end) {
        const unsigned byte = *p;
        if (is_lead_byte(static_cast<unsigned char>(byte)) && p + 1 < end && is_trail_byte(p[1])) {
            visit(static_cast<Code>(p[1] << 8 | byte));
            p += 2;
            continue;
        }
        ++p;
        if constexpr (Text) {
            const bool line_end = byte == '\r' || (byte == '\n' && (*after_cr || any_newline));
            *after_cr = byte == '\r';
            if (line_end) continue;
        }
        visit(static_cast<Code>(byte));
    }
#endif
}

#ifdef __SSE2__
// Bit j set where byte j of the 64 is a continuation byte, a lead byte of a
// two-, three- or four-byte sequence, a byte that asks for care (one that
// cannot begin a character, or a lead whose second byte has a narrower
// range: E0, ED, F0, F4), a CR or an LF.
struct Utf8Classes {
    std::uint64_t continuation = 0, lead2 = 0, lead3 = 0, lead4 = 0, careful = 0, cr = 0, lf = 0;
};

[[gnu::always_inline]] inline Utf8Classes classify_utf8(const unsigned char* bytes)
{
    // With the top bit flipped, byte ranges become signed ranges: 0x80 is 0, 0xFF is 127.
    const auto in = [](__m128i x, int low, int high) {
        return _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(static_cast<char>(low - 1))),
            _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(high + 1)), x));
    };
    const auto is = [](__m128i x, int value) {
        return _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(value)));
    };
    Utf8Classes classes;
    for (int part = 0; part < 4; ++part) {
        const __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part)),
            _mm_set1_epi8(static_cast<char>(0x80)));
        const auto bits = [part](__m128i mask) {
            return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(mask)))
                << (16 * part);
        };
        classes.continuation |= bits(in(x, 0x00, 0x3F));
        classes.lead2 |= bits(in(x, 0x42, 0x5F));
        classes.lead3 |= bits(in(x, 0x60, 0x6F));
        classes.lead4 |= bits(in(x, 0x70, 0x74));
        classes.careful |= bits(_mm_or_si128(
            _mm_or_si128(in(x, 0x40, 0x41), _mm_cmpgt_epi8(x, _mm_set1_epi8(0x74))),
            _mm_or_si128(_mm_or_si128(is(x, 0x60), is(x, 0x6D)), _mm_or_si128(is(x, 0x70), is(x, 0x74)))));
        classes.cr |= bits(is(x, '\r' ^ 0x80));
        classes.lf |= bits(is(x, '\n' ^ 0x80));
    }
    return classes;
}
#endif

#ifdef __SSE2__
// The same with AVX2, 32 bytes a step.
[[gnu::target("avx2")]] inline __m256i utf8_above(__m256i x, int value)
{
    return _mm256_cmpgt_epi8(x, _mm256_set1_epi8(static_cast<char>(value)));
}
[[gnu::target("avx2")]] inline __m256i utf8_is(__m256i x, int value)
{
    return _mm256_cmpeq_epi8(x, _mm256_set1_epi8(static_cast<char>(value)));
}
[[gnu::target("avx2")]] inline std::uint64_t utf8_bits(__m256i mask, int part)
{
    return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(mask))} << (32 * part);
}

[[gnu::target("avx2")]] inline Utf8Classes classify_utf8_avx2(const unsigned char* bytes)
{
    Utf8Classes classes;
    for (int part = 0; part < 2; ++part) {
        const __m256i x =
            _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * part)),
                _mm256_set1_epi8(static_cast<char>(0x80)));
        // Flipped, 0x80-0xBF are 0-63, 0xC2-0xDF 66-95, 0xE0-0xEF 96-111, 0xF0-0xF4 112-116.
        classes.continuation |= utf8_bits(_mm256_andnot_si256(utf8_above(x, 0x3F), utf8_above(x, -1)), part);
        classes.lead2 |= utf8_bits(_mm256_andnot_si256(utf8_above(x, 0x5F), utf8_above(x, 0x41)), part);
        classes.lead3 |= utf8_bits(_mm256_andnot_si256(utf8_above(x, 0x6F), utf8_above(x, 0x5F)), part);
        classes.lead4 |= utf8_bits(_mm256_andnot_si256(utf8_above(x, 0x74), utf8_above(x, 0x6F)), part);
        const __m256i narrow = _mm256_or_si256(_mm256_or_si256(utf8_is(x, 0x60), utf8_is(x, 0x6D)),
            _mm256_or_si256(utf8_is(x, 0x70), utf8_is(x, 0x74)));
        const __m256i never = _mm256_or_si256(
            _mm256_andnot_si256(utf8_above(x, 0x41), utf8_above(x, 0x3F)), utf8_above(x, 0x74));
        classes.careful |= utf8_bits(_mm256_or_si256(narrow, never), part);
        classes.cr |= utf8_bits(utf8_is(x, '\r' ^ 0x80), part);
        classes.lf |= utf8_bits(utf8_is(x, '\n' ^ 0x80), part);
    }
    return classes;
}

// Bit j set where a character of one to three bytes (the Basic Multilingual
// Plane) beginning at byte j of the 64 is set in `seen`, one bit a code
// point; other positions give bits that mean nothing. The code points are
// made and tested in registers, 8 at a time.
[[gnu::target("avx2")]] inline std::uint64_t seen_code_points_avx2(
    const unsigned char* bytes, const std::uint32_t* seen)
{
    const __m256i low6 = _mm256_set1_epi16(0x3F);
    std::uint64_t mask = 0;
    for (int part = 0; part < 4; ++part) {
        const unsigned char* at = bytes + 16 * part;
        const __m256i b0 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
        const __m256i b1 = _mm256_and_si256(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1))), low6);
        const __m256i b2 = _mm256_and_si256(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 2))), low6);
        const __m256i three =
            _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(b0, 12), _mm256_slli_epi16(b1, 6)),
                b2);  // b0 << 12 keeps its low 4 bits
        const __m256i two =
            _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b0, _mm256_set1_epi16(0x1F)), 6), b1);
        const __m256i is_three = _mm256_cmpgt_epi16(b0, _mm256_set1_epi16(0xDF));
        const __m256i is_two = _mm256_andnot_si256(is_three, _mm256_cmpgt_epi16(b0, _mm256_set1_epi16(0x7F)));
        const __m256i code = _mm256_blendv_epi8(_mm256_blendv_epi8(b0, two, is_two), three, is_three);
        for (int half = 0; half < 2; ++half) {
            const __m256i wide = _mm256_cvtepu16_epi32(
                half ? _mm256_extracti128_si256(code, 1) : _mm256_castsi256_si128(code));
            const __m256i words =
                _mm256_i32gather_epi32(reinterpret_cast<const int*>(seen), _mm256_srli_epi32(wide, 5), 4);
            const __m256i bit = _mm256_slli_epi32(
                _mm256_srlv_epi32(words, _mm256_and_si256(wide, _mm256_set1_epi32(31))), 31);
            mask |= static_cast<std::uint64_t>(_mm256_movemask_ps(_mm256_castsi256_ps(bit)))
                << (16 * part + 8 * half);
        }
    }
    return mask;
}
#endif

// for_each_code for UTF-8: visit(c) for each character, as ICU decodes it.
// Blocks of well-formed text are read from bit masks; any other block
// character by character. Code points flagged in `known` (one bit each, for
// the Basic Multilingual Plane) may be passed over.
template <bool Text = false, class Visit>
inline void for_each_code_point(std::string_view bytes, Visit&& visit, bool* after_cr = nullptr,
    const std::uint64_t* known = nullptr, bool any_newline = false)
{
    auto p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto end = p + bytes.size();
    const auto take = [&](char32_t c) {
        if (!known || c >= 0x10000 || !(known[c >> 6] >> (c & 63) & 1)) visit(c);
    };
    std::size_t skip = 0;  // bytes at the block's start that end the character before
#ifdef __SSE2__
    for (; p < end; p += 64) {
        const auto left = static_cast<std::size_t>(end - p);
        const std::uint64_t valid = left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
        Utf8Classes classes = use_avx2 ? classify_utf8_avx2(p) : classify_utf8(p);
        classes.lead2 &= valid;
        classes.lead3 &= valid;
        classes.lead4 &= valid;
        const std::uint64_t carried = (std::uint64_t{1} << skip) - 1;
        const std::uint64_t longer = classes.lead3 | classes.lead4;
        // The continuation bytes that well-formed text has here, and how many
        // the last character has in the next block.
        const std::uint64_t wanted =
            (classes.lead2 | longer) << 1 | longer << 2 | classes.lead4 << 3 | carried;
        const std::size_t beyond =
            std::max({classes.lead2 >> 63, (longer >> 63) * 2, (classes.lead4 >> 63) * 3, longer >> 62 & 1,
                (classes.lead4 >> 62 & 1) * 2, classes.lead4 >> 61 & 1});
        bool plain = !(classes.careful & valid) && (classes.continuation & valid) == wanted;
        for (std::size_t k = 0; plain && k < beyond; ++k)
            plain = 64 + k < left && (p[64 + k] & 0xC0) == 0x80;
        if (plain) {
            std::uint64_t starts = ~classes.continuation & valid & ~carried;
            if (known && use_avx2) {
                // Nearly every character is known: test 64 at once, then visit the rest.
                starts &=
                    ~seen_code_points_avx2(p, reinterpret_cast<const std::uint32_t*>(known)) | classes.lead4;
            }
            if constexpr (Text) {
                const std::uint64_t lf_ends = any_newline ? ~std::uint64_t{0} : classes.cr << 1 | *after_cr;
                starts &= ~(classes.cr | (lf_ends & classes.lf));
                *after_cr = classes.cr >> (left >= 64 ? 63 : left - 1) & 1;
            }
            while (starts) {
                const unsigned char* q = p + __builtin_ctzll(starts);
                starts &= starts - 1;
                const unsigned lead = q[0];
                // ASCII and three bytes (hanzi) without a branch between them; two and four bytes are rare.
                if ((lead >= 0x80 && lead < 0xE0) || lead >= 0xF0)
                    take(lead < 0xE0 ? (lead & 0x1Fu) << 6 | (q[1] & 0x3Fu)
                                     : (lead & 0x07u) << 18 | (q[1] & 0x3Fu) << 12 | (q[2] & 0x3Fu) << 6 |
                                (q[3] & 0x3Fu));
                else
                    take(lead < 0x80 ? lead : (lead & 0x0Fu) << 12 | (q[1] & 0x3Fu) << 6 | (q[2] & 0x3Fu));
            }
            skip = beyond;
            continue;
        }
        // Character by character, as far as the characters that begin here go.
        const unsigned char* q = p + skip;
        const unsigned char* const block_end = left > 64 ? p + 64 : end;
        while (q < block_end) {
            const Utf8Character one = decode_one(q, end);
            const char32_t c = one.value;
            q += one.length;
            if constexpr (Text) {
                const bool line_end = c == U'\r' || (c == U'\n' && (*after_cr || any_newline));
                *after_cr = c == U'\r';
                if (line_end) continue;
            }
            take(c);
        }
        skip = static_cast<std::size_t>(q - block_end);
    }
#else
    while (p < end) {
        const Utf8Character one = decode_one(p, end);
        const char32_t c = one.value;
        p += one.length;
        if constexpr (Text) {
            const bool line_end = c == U'\r' || (c == U'\n' && (*after_cr || any_newline));
            *after_cr = c == U'\r';
            if (line_end) continue;
        }
        take(c);
    }
#endif
}

}  // namespace charlib
