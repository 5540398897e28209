#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/types.h"

// Translation files read as entries: the text a user sees, without keys,
// ids, comments or syntax. Includes base and codec.
namespace charlib {

enum class TextFormat {
    Lines,
    Po,
    Json,
    Csv,
    Tsv,
    Srt,
    Vtt,
    Xliff,
    Android,
    Strings,
    Resx,
    Yaml,
    Html,
    Properties
};

// "lines", "po", "json"... as -t takes them.
std::string text_format_name(TextFormat format);
std::optional<TextFormat> text_format_named(std::string_view name);
// Told from the file's extension and, for .xml, its root element (`head`
// is the file's first bytes); nothing when it cannot be told.
std::optional<TextFormat> text_format_of(const std::filesystem::path& path, std::string_view head);
// The patterns of the extensions text_format_of knows: "*.po", "*.json"...
const std::vector<std::string>& known_patterns();

// One piece of text a user sees: a msgstr plural form, a JSON string, a
// cell, a cue, a target. It plays the part of a line.
struct Entry {
    std::u32string text;
    std::string key;  // UTF-8: the JSON path, msgctxt or msgid, id, name, a CSV row's key...
    std::uint64_t line = 0;  // where the text begins in the file, counting from 1
    std::uint64_t column = 0;  // counting characters from 1
};

// Receives each entry as a reader finds it, in file order: its text in
// UTF-8 (the reader's buffer, which the receiver may change, as
// strip_markup_in_place does), its key, and where its text begins. Nothing
// of an entry is kept after the call, so a file of millions of entries
// costs no more than its text.
using EntrySink =
    std::function<void(std::string& text, std::string_view key, std::uint64_t line, std::uint64_t column)>;

// A file's bytes, read from anywhere in it: so that a file is decoded as it
// is read, never held twice.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes from `offset`; 0 at the end.
    virtual std::size_t read_at(std::uint64_t offset, char* buffer, std::size_t size) const = 0;
    // The size the file has now: a hint for room, not a limit.
    virtual std::uint64_t size() const = 0;
};

class MemoryBytes final : public ByteSource {
public:
    explicit MemoryBytes(std::string_view bytes) : bytes_(bytes) { }
    std::size_t read_at(std::uint64_t offset, char* buffer, std::size_t size) const override;
    std::uint64_t size() const override { return bytes_.size(); }

private:
    std::string_view bytes_;
};

struct EntryOptions {
    std::optional<Encoding> encoding;  // -e: overrides what the file declares
    // For the formats whose encoding is told from the bytes (csv, tsv, srt,
    // .strings, html), when the file has no byte-order mark and is not valid
    // UTF-8; asked only then. Nothing: GBK.
    std::function<Encoding()> detect = {};
    std::vector<std::string> columns;  // csv/tsv: header names or 1-based numbers; none: every cell
    // csv/tsv: the column of the rows' keys, by header name or 1-based number;
    // "": none. Unset: the first, when its header is empty or names keys ("key", "id"...).
    std::optional<std::string> key_column = std::nullopt;
    bool xliff_source = false;  // <source> instead of <target>
};

// A column of a CSV or TSV file whose cells are the rows' keys, not text.
struct KeyColumn {
    std::size_t number = 0;  // from 1
    std::string header;
};

struct EntriesRead {
    std::string encoding;  // the encoding the text was read in, as the user would name it
    std::uint64_t count = 0;  // entries handed over
    std::uint64_t invalid = 0;  // invalid sequences, read as U+FFFD
    std::vector<InvalidSequence> first_invalid;  // the first 100: line, and byte from the file's start
    std::uint64_t unreadable_cues = 0;  // subtitles: blocks without a timing line a player would read
    std::optional<KeyColumn> key_column;  // csv/tsv: taken as the key column by its header
    std::vector<Entry> entries;  // only from the read_entries that collects them
};

// The entries of the file `bytes` holds, handed to `sink` one by one in file
// order. `path` names the file in messages (and its extension matters for
// .arb and .pot). The text is decoded as the format says (a byte-order mark,
// a declaration, -e, or `options.detect`), and a NUL character in it is an
// error: no text format has one. A malformed file throws Failure
// (Action::Parse) with the line, column and the parser's reason.
EntriesRead read_entries(TextFormat format, const ByteSource& bytes, const std::filesystem::path& path,
    const EntryOptions& options, const EntrySink& sink);
// The same for bytes in memory, the entries collected in `entries`.
EntriesRead read_entries(TextFormat format, std::string_view bytes, const std::filesystem::path& path,
    const EntryOptions& options);

// Rich-text tags (<b>, <color=#ff0000>, </size>; BBCode's [b], [url=…],
// [img]path[/img] by name), placeholders in braces ({0}, {name},
// {{count}}) and printf conversions (%s, %1$d, %n; %% becomes %) removed:
// what is not drawn. A text with a plural, select or selectordinal argument
// is ICU MessageFormat: the text of its sub-messages is kept, its syntax
// and the number a plural's # stands for are not, and ICU's apostrophes hold.
std::u32string strip_markup(std::u32string_view text);
// The same on UTF-8 text, in its place: what is kept is never longer.
void strip_markup_in_place(std::string& text);

}  // namespace charlib
