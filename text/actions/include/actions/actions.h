#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "actions/numbers.h"
#include "base/outcome.h"
#include "base/types.h"
#include "extract/extract.h"

// The window-independent actions of the tool. Each one is what a button of
// the window does, without the window. File failures throw Failure.
namespace charlib {

enum class ScanStatus {
    Clean,  // no Control-Z byte: the file can be used
    Empty,  // length 0: nothing to read, not accepted
    ControlZ,  // a Control-Z byte at `position`
};

struct ScanResult {
    ScanStatus status = ScanStatus::Clean;
    std::uint64_t position = 0;  // 1-based offset of the first 0x1A
};

// Looks for the first Control-Z byte, streaming; stops at the first one.
ScanResult scan(const std::filesystem::path& path);

inline constexpr std::size_t preview_limit = 10000;

struct LoadResult {
    std::vector<std::u16string> lines;  // at most `limit` lines
    bool over_limit = false;  // a further line exists; reading stopped
};

LoadResult load(const std::filesystem::path& path, std::size_t limit = preview_limit);

// The lines that begin with `marker`, or, with an offset, the line `offset`
// places after each such line (the whole number nearest to i + offset,
// halves to even). The lines jumped over are not tested; the scan goes on
// after the line taken, and a jump past the last line ends it. A negative
// offset selects nothing.
std::vector<std::u16string> filter(
    const std::vector<std::u16string>& lines, std::u16string_view marker, double offset);

// The distinct characters, in order of first occurrence, of every line that
// contains `marker` (an empty marker: every non-empty line) or, when
// offset > 0, of the line `offset` lines after each such line; the lines
// jumped over are neither tested nor collected. A jump past the end of the
// file ends the reading and keeps what was collected. The whole file is
// read, streaming, with no line limit.
// `buffer_size` and `tuning` only change how the file is read, never the result.
std::u16string extract(const std::filesystem::path& path, std::u16string_view marker, std::int64_t offset,
    std::size_t buffer_size = default_buffer_size, const Tuning& tuning = {});

// The same characters in ascending code-unit order.
std::u16string sort_charset(std::u16string_view text);

// Writes `text` in code page 936 followed by CR LF, no BOM. The bytes go to
// a temporary file beside `path`, which is then renamed over it, so a failure
// leaves any existing file as it was.
void write_charset(const std::filesystem::path& path, std::u16string_view text);

inline constexpr const char* output_file_name = "END.txt";

}  // namespace charlib
