#pragma once
// The bottom of the core: the value types every room shares. What happened
// is in outcome.h.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/outcome.h"

namespace charlib {

// Large enough for the lines of any real text; longer lines are streamed.
inline constexpr std::size_t default_buffer_size = std::size_t{1} << 20;

enum class Encoding { Gbk, Gb18030, Utf8, Utf16Le, Utf16Be };
// Legacy: CR LF or a lone CR ends a line and a lone LF stays in it, as in
// the window. Any: CR LF, CR or LF.
enum class Newline { Legacy, Any };

struct SourceFormat {
    Encoding encoding = Encoding::Gbk;
    Newline newline = Newline::Legacy;
};

// A character here is a Unicode code point; for code page 936 text that is
// the same as the code unit the window counts.
//
// Characters in order of first occurrence and, when counted, how often each
// occurs (counts[i] belongs to characters[i]).
struct Tally {
    std::u32string characters;
    std::vector<std::uint64_t> counts;
    bool control_z = false;  // the text ended at a Control-Z
    std::uint64_t control_z_byte = 0;  // where, counting from 1 (code page 936 and UTF-8 only)
    std::uint64_t lines = 0, selected_lines = 0;  // when the lines were counted

    // As if the text of `later` followed the text tallied so far.
    void add(const Tally& later);
};

// Which lines of a source give their characters.
struct Selection {
    std::u32string marker;  // empty: every non-empty line
    std::int64_t offset = 0;  // take the line this many lines after each match
    bool count = false;  // count every occurrence (costs a little)
    std::function<void(std::uint64_t bytes)> progress = {};  // bytes read so far, now and then
};

// Where an invalid sequence began. Both count from 1.
struct InvalidSequence {
    std::uint64_t line = 0;
    std::uint64_t byte = 0;
};

// What a source holds beyond its characters.
struct SourceFacts {
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;  // of a translation file: its entries
    std::uint64_t keyed = 0;  // entries whose key --key matched (all of them without it)
    std::uint64_t selected_lines = 0;
    std::uint64_t unreadable_cues = 0;  // subtitle blocks without a timing line a player reads
    std::uint64_t invalid = 0;
    std::vector<InvalidSequence> first_invalid;  // the first 100
};

// A place where a character occurs.
struct Place {
    std::filesystem::path source;
    std::uint64_t line = 0, column = 0;  // from 1; the column counts characters
    std::string key;  // the entry's key (UTF-8) in a translation file
    std::u32string context;  // the line or entry, shortened around the character
};
// Where characters occur, the first places first.
using Places = std::unordered_map<char32_t, std::vector<Place>>;

// What a source was read in: one of the encodings of lines, or another that
// a translation file declares or its format has (ISO-8859-1, Shift_JIS).
struct SourceEncoding {
    std::optional<Encoding> known = Encoding::Gbk;
    std::string other;  // when not known: the name as the file or format gives it
    bool operator==(const SourceEncoding&) const = default;
};

// What a run says of one of its sources.
struct SourceReport {
    std::filesystem::path path;
    SourceEncoding encoding;
    std::optional<Outcome> encoding_reason;  // why, unless -e told it (codes/sources.h)
    std::string text_format = "lines";  // as -t names it; for a translation file, lines are its entries
    SourceFacts facts;
    std::optional<Outcome> error;  // the source could not be used (kept going past it): nothing else is known
};

}  // namespace charlib
