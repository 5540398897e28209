#pragma once
// The readers of each format, private to formats. Each returns its entries
// in file order, and throws Malformed for a file it cannot read.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/types.h"
#include "formats/entries.h"

namespace charlib::formats {

// Where and why a file is malformed; read_entries makes a FileError of it.
struct Malformed : std::runtime_error {
    Malformed(std::uint64_t line, std::uint64_t column, const std::string& reason) :
        std::runtime_error(reason),
        line(line),
        column(column)
    {
    }
    std::uint64_t line, column;
};

// Text in UTF-8 and the places in it.
struct Decoded {
    std::string text;  // UTF-8, without a byte-order mark
    std::string encoding;  // as the user would name it
    std::uint64_t invalid = 0;  // sequences that became U+FFFD
};
// The bytes in `encoding`.
Decoded decode_text(std::string_view bytes, Encoding encoding);
// The bytes in an encoding named as files declare it ("UTF-8", "gb2312",
// "ISO-8859-1"...); nothing when ICU does not know the name.
std::optional<Decoded> decode_named(std::string_view bytes, std::string_view name);
// The encoding a byte-order mark at the start of `bytes` names.
std::optional<Encoding> byte_order_mark(std::string_view bytes);

// Line and column (in characters, both from 1) of byte offsets in UTF-8
// text; a line ends at LF, CR LF or CR. Asked in file order, a column is
// counted on from the last one asked, so long lines cost one pass.
class LineIndex {
public:
    explicit LineIndex(std::string_view text);
    std::uint64_t line(std::size_t offset) const;
    std::uint64_t column(std::size_t offset) const;

private:
    std::string_view text_;
    std::vector<std::size_t> starts_;
    mutable std::size_t last_offset_ = 0;  // the last offset asked, and its column
    mutable std::uint64_t last_column_ = 1;
};

// UTF-8 text to code points; invalid bytes become U+FFFD.
std::u32string characters_of(std::string_view utf8);

// A hexadecimal digit's value, or -1.
int hex_value(char c);
// Escapes like \uXXXX give UTF-16 units: a high and a low surrogate side by
// side make one character, a lone one is U+FFFD. Characters read from UTF-8
// are never surrogates, so every surrogate here came from an escape.
std::u32string joined_surrogates(const std::u32string& units);

// The readers. `text` is UTF-8 without a byte-order mark; those that take
// `bytes` decide the encoding from what the file declares, unless `forced`.
std::vector<Entry> read_json(std::string_view text, bool arb);
std::vector<Entry> read_csv(std::string_view text, char delimiter, const std::vector<std::string>& columns);
std::vector<Entry> read_yaml(std::string_view text);
std::vector<Entry> read_strings(std::string_view text);
std::vector<Entry> read_properties(std::string_view text);
std::vector<Entry> read_srt(std::string_view text);
std::vector<Entry> read_vtt(std::string_view text);
std::vector<Entry> read_html(std::string_view text);
// XML: the declaration or byte-order mark decides the encoding.
std::vector<Entry> read_xliff(
    std::string_view bytes, std::optional<Encoding> forced, bool source, std::string& encoding);
std::vector<Entry> read_android(
    std::string_view bytes, std::optional<Encoding> forced, std::string& encoding);
std::vector<Entry> read_resx(std::string_view bytes, std::optional<Encoding> forced, std::string& encoding);
// PO: the header's charset decides the encoding. A template (`is_template`,
// a .pot, or every msgstr empty) gives its msgids.
std::vector<Entry> read_po(
    std::string_view bytes, std::optional<Encoding> forced, bool is_template, std::string& encoding);

}  // namespace charlib::formats
