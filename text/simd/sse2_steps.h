#pragma once

#include <immintrin.h>

#include <cstdint>

#include "simd/code_sets.h"

// The bit masks the block walks read, and how SSE2 makes them, 16 bytes a
// step. SSE2 is in every x86-64 processor: the AVX2 kernel takes the steps
// it has no wider form of from here too.
namespace charlib {

// Bit j set where byte j of the 64 is a lead byte (0x81-0xFE), where it is
// followed by a trail byte (0x40-0xFE but 0x7F), a CR, an LF.
struct ByteClasses {
    std::uint64_t lead = 0, trail = 0, cr = 0, lf = 0;
};

// Bit j set where byte j of the 64 is a continuation byte, a lead byte of a
// two-, three- or four-byte sequence, a byte that asks for care (one that
// cannot begin a character, or a lead whose second byte has a narrower
// range: E0, ED, F0, F4), a CR or an LF.
struct Utf8Classes {
    std::uint64_t continuation = 0, lead2 = 0, lead3 = 0, lead4 = 0, careful = 0, cr = 0, lf = 0;
};

// What a block that asks for care needs beyond Utf8Classes to count
// sequences: the lead bytes with a narrower second byte, the continuation
// bytes from 0x90 and from 0xA0, and the bytes that never begin a character
// (0xC0, 0xC1, 0xF5-0xFF).
struct Utf8Care {
    std::uint64_t e0 = 0, ed = 0, f0 = 0, f4 = 0, from_90 = 0, from_a0 = 0, never = 0;
};

// For GB18030: lead bytes (0x81-0xFE), lead bytes followed by a trail byte
// (0x40-0xFE but 0x7F), bytes beyond ASCII, digits.
struct Gb18030Bytes {
    std::uint64_t lead = 0, could_pair = 0, high = 0, digit = 0;
};

namespace {

struct Sse2Steps {
    static constexpr bool gathers = false;

    [[gnu::always_inline]] static std::uint64_t bits(__m128i mask, int part)
    {
        return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(mask))) << (16 * part);
    }
    // With the top bit flipped, byte ranges become plain signed ranges: 0x80 is 0, 0xFF is 127.
    [[gnu::always_inline]] static __m128i flipped(const unsigned char* p)
    {
        return _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi8(-128));
    }
    [[gnu::always_inline]] static __m128i above(__m128i x, int value)
    {
        return _mm_cmpgt_epi8(x, _mm_set1_epi8(static_cast<char>(value)));
    }
    [[gnu::always_inline]] static __m128i is(__m128i x, int value)
    {
        return _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(value)));
    }

    [[gnu::always_inline]] static ByteClasses classify(const unsigned char* bytes)
    {
        ByteClasses classes;
        for (int part = 0; part < 4; ++part) {
            const __m128i b = flipped(bytes + 16 * part), n = flipped(bytes + 16 * part + 1);
            classes.lead |= bits(_mm_andnot_si128(is(b, 0x7F), above(b, 0)), part);
            classes.trail |=
                bits(_mm_andnot_si128(_mm_or_si128(is(n, 0x7F), is(n, -1)), above(n, -65)), part);
            classes.cr |= bits(is(b, '\r' ^ 0x80), part);
            classes.lf |= bits(is(b, '\n' ^ 0x80), part);
        }
        return classes;
    }

    // The code of a character beginning at each of the 64 bytes: the byte
    // alone, or with the next byte above it where `pairs` says a pair begins.
    [[gnu::always_inline]] static void codes_of_block(
        const unsigned char* bytes, std::uint64_t pairs, GbkCode* codes)
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
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(codes + 16 * part + 8), _mm_unpackhi_epi8(first, second));
        }
    }

    [[gnu::always_inline]] static __m128i in(__m128i x, int low, int high)
    {
        return _mm_andnot_si128(above(x, high), above(x, low - 1));
    }

    [[gnu::always_inline]] static Utf8Classes classify_utf8(const unsigned char* bytes)
    {
        Utf8Classes classes;
        for (int part = 0; part < 4; ++part) {
            const __m128i x = flipped(bytes + 16 * part);
            // Flipped, 0x80-0xBF are 0-63, 0xC2-0xDF 66-95, 0xE0-0xEF 96-111, 0xF0-0xF4 112-116.
            classes.continuation |= bits(in(x, 0x00, 0x3F), part);
            classes.lead2 |= bits(in(x, 0x42, 0x5F), part);
            classes.lead3 |= bits(in(x, 0x60, 0x6F), part);
            classes.lead4 |= bits(in(x, 0x70, 0x74), part);
            const __m128i narrow =
                _mm_or_si128(_mm_or_si128(is(x, 0x60), is(x, 0x6D)), _mm_or_si128(is(x, 0x70), is(x, 0x74)));
            classes.careful |=
                bits(_mm_or_si128(_mm_or_si128(in(x, 0x40, 0x41), above(x, 0x74)), narrow), part);
            classes.cr |= bits(is(x, '\r' ^ 0x80), part);
            classes.lf |= bits(is(x, '\n' ^ 0x80), part);
        }
        return classes;
    }

    [[gnu::always_inline]] static Utf8Care utf8_care(const unsigned char* p)
    {
        Utf8Care care;
        for (int part = 0; part < 4; ++part) {
            const __m128i x = flipped(p + 16 * part);
            care.e0 |= bits(is(x, 0x60), part);
            care.ed |= bits(is(x, 0x6D), part);
            care.f0 |= bits(is(x, 0x70), part);
            care.f4 |= bits(is(x, 0x74), part);
            care.from_90 |= bits(in(x, 0x10, 0x3F), part);
            care.from_a0 |= bits(in(x, 0x20, 0x3F), part);
            care.never |= bits(_mm_or_si128(in(x, 0x40, 0x41), above(x, 0x74)), part);
        }
        return care;
    }

    [[gnu::always_inline]] static Gb18030Bytes gb18030_bytes(const unsigned char* p)
    {
        Gb18030Bytes bytes;
        for (int part = 0; part < 4; ++part) {
            const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
            const __m128i x = flipped(p + 16 * part), next = flipped(p + 16 * part + 1);
            const __m128i lead = _mm_andnot_si128(is(x, 0x7F), above(x, 0));
            const __m128i trail =
                _mm_andnot_si128(_mm_or_si128(is(next, 0x7F), is(next, -1)), above(next, -65));
            bytes.lead |= bits(lead, part);
            bytes.could_pair |= bits(_mm_and_si128(lead, trail), part);
            bytes.high |= bits(raw, part);
            bytes.digit |= bits(in(x, '0' - 128, '9' - 128), part);
        }
        return bytes;
    }

    // NUL bytes and control characters but tab, LF and CR.
    [[gnu::always_inline]] static void zeros_and_controls(
        const unsigned char* p, std::uint64_t& zero, std::uint64_t& control)
    {
        zero = control = 0;
        for (int part = 0; part < 4; ++part) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
            const __m128i below_space = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(0x1F)), x);
            const __m128i blank = _mm_or_si128(_mm_or_si128(is(x, '\t'), is(x, '\n')), is(x, '\r'));
            zero |= bits(is(x, 0), part);
            control |= bits(_mm_or_si128(_mm_andnot_si128(blank, below_space), is(x, 0x7F)), part);
        }
    }
};

}  // namespace

}  // namespace charlib
