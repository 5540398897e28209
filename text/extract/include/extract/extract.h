#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "base/types.h"
#include "codec/utf.h"
#include "files/input_file.h"
#include "simd/kernel.h"

// The characters of a source's selected lines.
namespace charlib {

// How extract_source goes about code page 936 and UTF-8: the kernel that
// walks the bytes, and, when lines are taken on their own (no offset), a
// large file read as parts side by side, one a thread: as many parts as
// threads, none smaller than `least_part_bytes`.
struct Tuning {
    const Kernel* kernel = &best_kernel();
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::uint64_t least_part_bytes = std::uint64_t{16} << 20;
};

// What else is done with a source's bytes while extraction reads them, so
// that a source is read once.
struct Reading {
    std::string_view first = {};  // the file's first bytes, already read: not read again
    // Every further piece of the file as it is read, in order from the end of
    // `first`; of a file read in parts, the first part only.
    std::function<void(std::string_view)> observe = {};
    bool count_lines = false;  // fills Tally::lines and selected_lines
};

// The characters of the selected lines of one source, the window's extract
// for any encoding. A jump does not go past the source's end. The
// byte-order mark is not a character; a Control-Z ends the text, and the
// tally says so. Throws Failure.
Tally extract_source(InputFile& file, const SourceFormat& format, const Selection& selection,
    const Tuning& tuning, const Reading& reading = {}, std::size_t buffer_size = default_buffer_size);
// The same, opening the file.
Tally extract_source(const std::filesystem::path& path, const SourceFormat& format,
    const Selection& selection, std::size_t buffer_size = default_buffer_size, const Tuning& tuning = {});

// Reads a whole source, one decoded piece at a time, until `take` returns
// false; the places of invalid sequences go to `invalid` when given.
void read_decoded(InputFile& file, Encoding encoding, std::size_t buffer_size,
    const std::function<void(std::uint64_t)>& progress, std::vector<InvalidPlace>* invalid,
    const std::function<bool(std::u32string_view)>& take, const Reading& reading = {});

// Characters as they arrive, in pieces of any size: finds the lines, tests
// them for the marker and tallies the selected ones.
class CodePointExtractor {
public:
    CodePointExtractor(Newline newline, const Selection& selection);
    ~CodePointExtractor();
    // False once the text has ended at U+001A, the Control-Z of Unicode.
    bool feed(std::u32string_view characters);
    Tally finish();
    std::uint64_t line() const;  // the line the next character belongs to, from 1
    std::uint64_t lines() const;  // lines so far; after finish, all of them
    std::uint64_t selected_lines() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace charlib
