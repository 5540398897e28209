#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/types.h"

// What the command line makes of a tally: the characters chosen and ordered,
// their coverage of the code page, and the formats it writes them in.
namespace charlib {

enum class Order { First, Code, Frequency };

struct Choice {
    std::u32string exclude = {};  // characters to drop
    // Characters to keep though the text may lack them: those it lacks follow
    // its own in this order, counted 0; --min-count never drops one. The
    // other rules drop them as any other.
    std::u32string add = {};
    std::optional<std::u32string> only = {};  // characters to keep, the others dropped
    bool no_ascii = false;  // drop U+0000-U+007F
    std::uint64_t min_count = 0;  // keep characters seen at least this often (needs counts)
    Order order = Order::First;  // Frequency: most often first, ties in order of first occurrence
};

Tally choose(Tally tally, const Choice& choice);

// Sets of characters to add, each in code order (code page 936's for the
// Chinese ones), taken from ICU's tables.
enum class NamedSet {
    Ascii,  // U+0020-U+007E
    Digits,  // 0-9
    Latin1,  // U+00A0-U+00FF
    CjkPunctuation,  // GB 2312's punctuation (rows 1 and 3, by general category) and U+3000
    Gb2312Level1,  // the 3755 level 1 hanzi
    Gb2312,  // the 7445 characters of GB 2312
    Gbk,  // printable ASCII and the 21791 double-byte characters of code page 936
};
std::u32string characters_of(NamedSet set);

// Where characters stand in code page 936. GB2312 is the codes that GB 2312
// itself assigns (its table in ICU), all with lead and trail bytes
// 0xA1-0xFE; its level 1 hanzi are the rows 0xB0-0xD7, level 2 the rows
// 0xD8-0xF7. Every other code of the code page is beyond GB2312.
struct Coverage {
    std::uint64_t level1 = 0, level1_size = 0;
    std::uint64_t level2 = 0, level2_size = 0;
    std::uint64_t gb2312_other = 0;  // symbols and other rows of GB2312
    std::uint64_t single_byte = 0;  // ASCII and the euro sign
    std::uint64_t beyond_gb2312 = 0;  // in GBK but not in GB2312
    std::u32string outside;  // not in code page 936 at all
};
Coverage coverage(std::u32string_view characters);

enum class Format { Text, Counts, Tbl, UnicodeRange, Json, Where };

// What json says of the web font pieces cut for the set.
struct WebFacts {
    std::string stylesheet;  // its path
    std::vector<std::string> paste;  // the lines for a page's <head>
    std::size_t pieces = 0;  // that the stylesheet lists for the face
    std::vector<std::string> written;  // pieces new in this run
    std::vector<std::string> dropped;  // earlier pieces no longer listed, left in the folder
};

// What json says of the font the set was made for.
struct FontFacts {
    std::string path;
    unsigned face = 0;
    std::string family;
    std::u32string missing;  // characters the font lacks
    std::u32string blank;  // characters the font has whose glyph draws nothing
    std::optional<WebFacts> web;
};

// CSS's unicode-range of the characters, neighbours joined: "U+4E00-4E02,U+4E0A".
std::string unicode_range(std::u32string characters);

// The chosen characters in a format but json, with `line_end` after each
// line. Counts and code tables write a control character as "U+XXXX".
std::u32string format_characters(
    const Tally& tally, Format format, std::u32string_view line_end, unsigned tbl_start = 0x8000);

// The json object, as UTF-8, without a line end. With `places`, each
// character gains its first place.
std::string format_json(const Tally& tally, const std::vector<SourceReport>& sources, const FontFacts* font,
    const Places* places = nullptr);

// For each character, up to `most` of its places, one a line:
// 字<TAB>U+5B57<TAB>path:line:column<TAB>key<TAB>“context”
std::u32string format_where(
    const Tally& tally, const Places& places, std::size_t most, std::u32string_view line_end);

// "path:line:column", the place as the user looks for it.
std::string place_name(const Place& place);

}  // namespace charlib
