// The kernel with AVX2, 32 bytes a step, and gathers that test 8 codes at
// once against a set's bits. Every function defined below the headers is
// compiled for AVX2 (with BMI1 and POPCNT, which every AVX2 processor has);
// what the headers define stays plain, so that no copy of it the linker
// might keep needs AVX2.
#include <immintrin.h>

#include <algorithm>
#include <string_view>

#include "kernels.h"
#include "sse2_steps.h"
#include "walk_rules.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,popcnt")
#endif

#include "block_walks.h"

namespace charlib {

namespace {

struct Avx2Steps {
    static constexpr bool gathers = true;

    [[gnu::always_inline]] static std::uint64_t bits(__m256i mask, int part)
    {
        return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(mask))} << (32 * part);
    }
    [[gnu::always_inline]] static __m256i flipped(const unsigned char* p)
    {
        return _mm256_xor_si256(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), _mm256_set1_epi8(-128));
    }
    [[gnu::always_inline]] static __m256i above(__m256i x, int value)
    {
        return _mm256_cmpgt_epi8(x, _mm256_set1_epi8(static_cast<char>(value)));
    }
    [[gnu::always_inline]] static __m256i is(__m256i x, int value)
    {
        return _mm256_cmpeq_epi8(x, _mm256_set1_epi8(static_cast<char>(value)));
    }
    [[gnu::always_inline]] static __m256i in(__m256i x, int low, int high)
    {
        return _mm256_andnot_si256(above(x, high), above(x, low - 1));
    }

    [[gnu::always_inline]] static ByteClasses classify(const unsigned char* bytes)
    {
        ByteClasses classes;
        for (int part = 0; part < 2; ++part) {
            const __m256i b = flipped(bytes + 32 * part), n = flipped(bytes + 32 * part + 1);
            classes.lead |= bits(_mm256_andnot_si256(is(b, 0x7F), above(b, 0)), part);
            classes.trail |=
                bits(_mm256_andnot_si256(_mm256_or_si256(is(n, 0x7F), is(n, -1)), above(n, -65)), part);
            classes.cr |= bits(is(b, '\r' ^ 0x80), part);
            classes.lf |= bits(is(b, '\n' ^ 0x80), part);
        }
        return classes;
    }

    [[gnu::always_inline]] static void codes_of_block(
        const unsigned char* bytes, std::uint64_t pairs, GbkCode* codes)
    {
        const __m256i bit_of_byte = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201));
        for (int part = 0; part < 2; ++part) {
            // Byte k of the part's 32 pair bits goes to bytes 8k to 8k + 7.
            const __m256i all = _mm256_set1_epi32(static_cast<int>(pairs >> (32 * part)));
            const __m256i spread = _mm256_shuffle_epi8(all,
                _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3,
                    3, 3, 3, 3, 3, 3));
            const __m256i pair_bytes = _mm256_cmpeq_epi8(_mm256_and_si256(spread, bit_of_byte), bit_of_byte);
            const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * part));
            const __m256i second = _mm256_and_si256(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32 * part + 1)), pair_bytes);
            // The unpacks work within 128-bit lanes; put the halves back in order.
            const __m256i low = _mm256_unpacklo_epi8(first, second);
            const __m256i high = _mm256_unpackhi_epi8(first, second);
            _mm256_storeu_si256(
                reinterpret_cast<__m256i*>(codes + 32 * part), _mm256_permute2x128_si256(low, high, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(codes + 32 * part + 16),
                _mm256_permute2x128_si256(low, high, 0x31));
        }
    }

    // Bit j set where codes[j] is set in `seen`, one bit a code: most
    // characters of a text are known after its first pages, and this tests
    // 8 of them at once in a table that stays in L1.
    [[gnu::always_inline]] static std::uint64_t seen_codes(const GbkCode* codes, const std::uint32_t* seen)
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

    [[gnu::always_inline]] static Utf8Classes classify_utf8(const unsigned char* bytes)
    {
        Utf8Classes classes;
        for (int part = 0; part < 2; ++part) {
            const __m256i x = flipped(bytes + 32 * part);
            // Flipped, 0x80-0xBF are 0-63, 0xC2-0xDF 66-95, 0xE0-0xEF 96-111, 0xF0-0xF4 112-116.
            classes.continuation |= bits(in(x, 0x00, 0x3F), part);
            classes.lead2 |= bits(in(x, 0x42, 0x5F), part);
            classes.lead3 |= bits(in(x, 0x60, 0x6F), part);
            classes.lead4 |= bits(in(x, 0x70, 0x74), part);
            const __m256i narrow = _mm256_or_si256(
                _mm256_or_si256(is(x, 0x60), is(x, 0x6D)), _mm256_or_si256(is(x, 0x70), is(x, 0x74)));
            classes.careful |=
                bits(_mm256_or_si256(_mm256_or_si256(in(x, 0x40, 0x41), above(x, 0x74)), narrow), part);
            classes.cr |= bits(is(x, '\r' ^ 0x80), part);
            classes.lf |= bits(is(x, '\n' ^ 0x80), part);
        }
        return classes;
    }

    // Bit j set where a character of one to three bytes (the Basic
    // Multilingual Plane) beginning at byte j of the 64 is set in `seen`,
    // one bit a code point; other positions give bits that mean nothing. The
    // code points are made and tested in registers, 8 at a time.
    [[gnu::always_inline]] static std::uint64_t seen_code_points(
        const unsigned char* bytes, const std::uint64_t* seen_words)
    {
        const auto seen = reinterpret_cast<const int*>(seen_words);
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
            const __m256i is_two =
                _mm256_andnot_si256(is_three, _mm256_cmpgt_epi16(b0, _mm256_set1_epi16(0x7F)));
            const __m256i code = _mm256_blendv_epi8(_mm256_blendv_epi8(b0, two, is_two), three, is_three);
            for (int half = 0; half < 2; ++half) {
                const __m256i wide = _mm256_cvtepu16_epi32(
                    half ? _mm256_extracti128_si256(code, 1) : _mm256_castsi256_si128(code));
                const __m256i words = _mm256_i32gather_epi32(seen, _mm256_srli_epi32(wide, 5), 4);
                const __m256i bit = _mm256_slli_epi32(
                    _mm256_srlv_epi32(words, _mm256_and_si256(wide, _mm256_set1_epi32(31))), 31);
                mask |= static_cast<std::uint64_t>(_mm256_movemask_ps(_mm256_castsi256_ps(bit)))
                    << (16 * part + 8 * half);
            }
        }
        return mask;
    }

    [[gnu::always_inline]] static Utf8Care utf8_care(const unsigned char* p)
    {
        return Sse2Steps::utf8_care(p);
    }

    [[gnu::always_inline]] static Gb18030Bytes gb18030_bytes(const unsigned char* p)
    {
        Gb18030Bytes bytes;
        for (int part = 0; part < 2; ++part) {
            const __m256i raw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * part));
            const __m256i x = flipped(p + 32 * part), next = flipped(p + 32 * part + 1);
            const __m256i lead = _mm256_andnot_si256(is(x, 0x7F), above(x, 0));
            const __m256i trail =
                _mm256_andnot_si256(_mm256_or_si256(is(next, 0x7F), is(next, -1)), above(next, -65));
            bytes.lead |= bits(lead, part);
            bytes.could_pair |= bits(_mm256_and_si256(lead, trail), part);
            bytes.high |= bits(raw, part);
            bytes.digit |= bits(in(x, '0' - 128, '9' - 128), part);
        }
        return bytes;
    }

    [[gnu::always_inline]] static void zeros_and_controls(
        const unsigned char* p, std::uint64_t& zero, std::uint64_t& control)
    {
        Sse2Steps::zeros_and_controls(p, zero, control);
    }
};

}  // namespace

const Kernel avx2_kernel = block_kernel<Avx2Steps>(Isa::Avx2, "avx2");

}  // namespace charlib

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
