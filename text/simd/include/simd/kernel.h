#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "simd/code_sets.h"

// The walks that find the characters of code page 936 and UTF-8 bytes, and
// count the sequences -e auto weighs, compiled once for each instruction set:
// plain code that runs anywhere, SSE2, and AVX2. Each kernel is a whole
// loop compiled for its instruction set; which one runs is chosen once, at
// start-up, and handed down.
namespace charlib {

// The walks read whole blocks: the bytes they are given must be followed by
// this many readable bytes, whose values do not matter.
inline constexpr std::size_t piece_padding = 80;

enum class Isa { Scalar, Sse2, Avx2 };

// Where lines end in bytes that are whole lines with their line ends: at
// every CR, and at the LF of each CR LF, or at every LF with `any_newline`.
// `after_cr` carries a CR at the end of one call over to the next. Bytes
// without a CR are all characters when both are false.
struct LineEnds {
    bool any_newline = false;
    bool after_cr = false;
};

// What a walk into a buffer did: the bytes it read (always whole characters)
// and the codes it wrote.
struct Walked {
    std::size_t bytes = 0;
    std::size_t codes = 0;
};

// A walk into a buffer stops, at the latest, when it holds this many codes.
inline constexpr std::size_t walk_batch = 1024;

// Valid multi-byte and invalid sequences of a reading.
struct SequenceCounts {
    std::uint64_t valid = 0;
    std::uint64_t invalid = 0;
};

// NUL bytes at even and odd offsets, and control characters but tab, LF and CR.
struct ByteCounts {
    std::uint64_t zeros_even = 0;
    std::uint64_t zeros_odd = 0;
    std::uint64_t controls = 0;
};

struct Kernel {
    Isa isa;
    const char* name;  // as CHARLIB_ISA names it

    // The characters of code page 936 bytes into the set, line ends left out.
    void (*insert_codes)(CodeSet& set, std::string_view bytes, LineEnds& ends);
    // The characters of UTF-8 bytes, as ICU decodes them, into the set.
    void (*insert_code_points)(CharacterSet& set, std::string_view bytes, LineEnds& ends);
    // Every code of the first characters, in order, into `out` (room for
    // walk_batch); the caller goes on from where it stopped.
    Walked (*codes)(std::string_view bytes, GbkCode* out);
    Walked (*code_points)(std::string_view bytes, char32_t* out);

    // -e auto. UTF-8's sequences as ICU decodes them, up to `end` or to a
    // sequence `end` may cut off; returns where it stopped.
    const unsigned char* (*count_utf8)(
        const unsigned char* p, const unsigned char* end, SequenceCounts& counts);
    // GB18030's two-byte sequences and invalid bytes, 64 bytes at a time
    // while 68 are left, up to a lead byte that may begin a four-byte
    // sequence; returns where it stopped, for the caller to step on.
    const unsigned char* (*count_gb18030_pairs)(
        const unsigned char* p, const unsigned char* end, SequenceCounts& counts);
    // `offset`: where p stands in the text, for the even and odd places.
    void (*count_bytes)(
        const unsigned char* p, const unsigned char* end, std::uint64_t offset, ByteCounts& counts);
};

// Every kernel this build has, and those this processor can run, best last.
std::span<const Kernel* const> built_kernels();
std::span<const Kernel* const> runnable_kernels();

// The processor's best, chosen once.
const Kernel& best_kernel();

// The kernel `name` asks for ("scalar", "sse2" or "avx2", in any case; empty:
// the best), among `runnable`; or why it cannot be had (UnknownIsa, IsaNotHere).
std::variant<const Kernel*, Outcome> choose_kernel(
    std::string_view name, std::span<const Kernel* const> runnable = runnable_kernels());

// The kernel the environment variable CHARLIB_ISA asks for, or the best:
// what a front end calls once at start-up.
std::variant<const Kernel*, Outcome> kernel_from_environment();

}  // namespace charlib
