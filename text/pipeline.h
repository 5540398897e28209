#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/line_reader.h"

// The command line's pipeline: sources in several encodings, their characters
// counted, chosen, ordered and written in several formats. A character here is
// a Unicode code point; for code page 936 text that is the same as the code
// unit the window counts.
namespace charlib {

enum class Encoding { Gbk, Gb18030, Utf8, Utf16Le, Utf16Be };
// Legacy: CR LF or a lone CR ends a line and a lone LF stays in it, as in
// the window. Any: CR LF, CR or LF.
enum class Newline { Legacy, Any };

struct SourceFormat {
    Encoding encoding = Encoding::Gbk;
    Newline newline = Newline::Legacy;
};

// "gbk", "gb18030", "utf-8", "utf-16le", "utf-16be".
std::string encoding_name(Encoding encoding);
// Legacy for GBK, as the window reads it; Any for the others.
Newline default_newline(Encoding encoding);

// The first Control-Z of a source: the byte 0x1A in GBK and GB18030, the
// character U+001A in UTF-8 and UTF-16. Both counts start at 1; the
// character count leaves a byte-order mark out.
struct ControlZ {
    std::uint64_t byte = 0;
    std::uint64_t character = 0;
};
std::optional<ControlZ> find_control_z(const std::filesystem::path& path, Encoding encoding);

// Characters in order of first occurrence and, when counted, how often each
// occurs (counts[i] belongs to characters[i]).
struct Tally {
    std::u32string characters;
    std::vector<std::uint64_t> counts;
    bool control_z = false;  // the text ended at a Control-Z (extract_source)

    // As if the text of `later` followed the text tallied so far.
    void add(const Tally& later);
};

struct Selection {
    std::u16string marker;  // empty: every non-empty line
    std::int64_t offset = 0;  // take the line this many lines after each match
    bool count = false;  // count every occurrence (costs a little)
    std::function<void(std::uint64_t bytes)> progress = {};  // bytes read so far, now and then
};

// The characters of the selected lines of one source, the window's extract
// for any encoding. A jump does not go past the source's end. The
// byte-order mark is not a character; a Control-Z ends the text, and the
// tally says so. Throws FileError.
Tally extract_source(const std::filesystem::path& path, const SourceFormat& format,
    const Selection& selection, std::size_t buffer_size = default_buffer_size);

// What a source holds, found by decoding every line on its own: slower than
// extract_source, for reports. Offsets and lines count from 1.
struct InvalidSequence {
    std::uint64_t line = 0;
    std::uint64_t byte = 0;
};
struct SourceFacts {
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
    std::uint64_t selected_lines = 0;
    std::uint64_t invalid = 0;
    std::vector<InvalidSequence> first_invalid;  // the first 100
};
SourceFacts examine_source(
    const std::filesystem::path& path, const SourceFormat& format, const Selection& selection);

}  // namespace charlib
