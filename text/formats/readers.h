#pragma once
// The readers of each format, private to formats. Each hands its entries to
// a sink in file order, and throws Malformed for a file it cannot read.
#include <cstdint>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/types.h"
#include "formats/entries.h"

namespace charlib::formats {

// Where and why a file is malformed; read_entries makes a Failure of it.
struct Malformed : std::runtime_error {
    Malformed(std::uint64_t line, std::uint64_t column, const std::string& reason) :
        std::runtime_error(reason),
        line(line),
        column(column)
    {
    }
    std::uint64_t line, column;
};

// What a C parser's callbacks throw, kept until the parser has returned:
// nothing may be thrown through its frames.
class CallbackGuard {
public:
    // Runs `handler` unless a callback threw before; what it throws is kept
    // and `stop` asks the parser to stop.
    template <class Handler, class Stop> void run(Handler&& handler, Stop&& stop)
    {
        if (failure_) return;
        try {
            handler();
        } catch (...) {
            failure_ = std::current_exception();
            stop();
        }
    }
    void keep(std::exception_ptr failure) { failure_ = std::move(failure); }
    bool failed() const { return failure_ != nullptr; }
    // Throws what was kept, if anything.
    void rethrow() const
    {
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    std::exception_ptr failure_;
};

// How a file's bytes are read: one of our encodings, or one that ICU knows
// by the name a file declares ("ISO-8859-1", "Shift_JIS", "UTF-32LE"...).
struct TextEncoding {
    std::optional<Encoding> known;
    std::string name;  // as the user would name it
};
TextEncoding text_encoding(Encoding encoding);
// An encoding named as files declare it; nothing when ICU does not know it.
// GB2312 and its kin are read as code page 936, as the tools that write them write.
std::optional<TextEncoding> declared_encoding(std::string_view name);

// A file's text in UTF-8, and what decoding it found.
struct Decoded {
    std::string text;  // UTF-8, without a byte-order mark
    std::string encoding;  // as the user would name it
    std::uint64_t invalid = 0;  // sequences that became U+FFFD
    std::vector<InvalidSequence> first_invalid;  // the first 100
};
// The whole file decoded as it is read, so its bytes are never held as well.
// With `give_up_on_invalid`, nothing comes back at the first invalid sequence.
std::optional<Decoded> decode_text(
    const ByteSource& bytes, const TextEncoding& encoding, bool give_up_on_invalid = false);
// The encoding a byte-order mark at the start of `head` names: UTF-8,
// UTF-16 or UTF-32 (by name).
std::optional<TextEncoding> byte_order_mark(std::string_view head);

// Line and column (in characters, both from 1) of byte offsets in UTF-8
// text; a line ends at LF, CR LF or CR. Offsets asked in file order cost one
// pass over the text in all, and no memory.
class LineIndex {
public:
    explicit LineIndex(std::string_view text) : text_(text) { }
    std::uint64_t line(std::size_t offset) const;
    std::uint64_t column(std::size_t offset) const;

private:
    void move_to(std::size_t offset) const;
    // A line ends after text[i].
    bool ends_line(std::size_t i) const
    {
        return text_[i] == '\n' || (text_[i] == '\r' && (i + 1 >= text_.size() || text_[i + 1] != '\n'));
    }

    std::string_view text_;
    mutable std::size_t at_ = 0, line_start_ = 0;  // the last offset asked, and its line's start
    mutable std::uint64_t line_ = 1;
    mutable std::size_t column_at_ = 0;  // the last offset whose column was counted, and the column
    mutable std::uint64_t column_ = 1;
};

// Appends a code point in UTF-8; a surrogate becomes U+FFFD.
void append_utf8(std::string& out, char32_t c);

// A hexadecimal digit's value, or -1.
int hex_value(char c);
// Escapes like \uXXXX give UTF-16 units: a high and a low surrogate side by
// side make one character, a lone one is U+FFFD. Characters read from UTF-8
// are never surrogates, so every surrogate here came from an escape.
class SurrogateJoiner {
public:
    explicit SurrogateJoiner(std::string& out) : out_(out) { }
    ~SurrogateJoiner() { finish(); }
    void add(char32_t unit);
    void finish();

private:
    std::string& out_;
    char32_t high_ = 0;
};

// The encodings the formats that declare one take from the file's start
// (`head`): the XML declaration, the PO header's charset.
TextEncoding xml_encoding(std::string_view head, std::optional<Encoding> forced);
TextEncoding po_encoding(std::string_view head, std::optional<Encoding> forced);

// The most elements XML and HTML may have open at once: each open element
// costs the parsers memory, and libxml2's HTML parser time for every end tag
// that closes none. No real file comes near it (browsers stop nesting at 512).
constexpr std::size_t most_open_elements = 1024;

// The readers, on the file's text in UTF-8 without a byte-order mark.
void read_json(std::string_view text, bool arb, const EntrySink& sink);
// CSV and TSV: the key column, when its header made it one (options.key_column unset).
std::optional<KeyColumn> read_csv(
    std::string_view text, char delimiter, const EntryOptions& options, const EntrySink& sink);
void read_yaml(std::string_view text, const EntrySink& sink);
void read_strings(std::string_view text, const EntrySink& sink);
void read_properties(std::string_view text, const EntrySink& sink);
// Subtitles: the count of blocks without a timing line a player would read.
std::uint64_t read_srt(std::string_view text, const EntrySink& sink);
std::uint64_t read_vtt(std::string_view text, const EntrySink& sink);
void read_html(std::string_view text, const EntrySink& sink);
void read_xliff(std::string_view text, bool source, const EntrySink& sink);
void read_android(std::string_view text, const EntrySink& sink);
void read_resx(std::string_view text, const EntrySink& sink);
// PO: a template (`is_template`, a .pot, or every msgstr empty) gives its msgids.
void read_po(std::string_view text, bool is_template, const EntrySink& sink);

}  // namespace charlib::formats
