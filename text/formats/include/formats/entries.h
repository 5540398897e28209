#pragma once

#include <cstdint>
#include <filesystem>
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
    std::string key;  // UTF-8: the JSON path, msgctxt or msgid, id, name, column header...
    std::uint64_t line = 0;  // where the text begins in the file, counting from 1
    std::uint64_t column = 0;  // counting characters from 1
};

struct EntryOptions {
    std::optional<Encoding> encoding;  // -e: overrides what the file declares
    Encoding detected = Encoding::Utf8;  // for files that declare nothing and have no byte-order mark
    std::vector<std::string> columns;  // csv/tsv: header names or 1-based numbers; none: every cell
    bool xliff_source = false;  // <source> instead of <target>
};

struct EntriesRead {
    std::vector<Entry> entries;
    std::string encoding;  // the encoding the text was read in, as the user would name it
    std::uint64_t invalid = 0;  // invalid sequences, read as U+FFFD
    std::vector<std::string> warnings;  // in Chinese: the invalid sequences
};

// The entries of a file whose bytes are `bytes`, in file order. `path`
// names the file in messages (and its extension matters for .arb and .pot).
// A malformed file throws FileError (Action::Parse) with the line, column
// and the parser's reason.
EntriesRead read_entries(TextFormat format, std::string_view bytes, const std::filesystem::path& path,
    const EntryOptions& options);

// Rich-text tags (<b>, <color=#ff0000>, </size>), placeholders in braces
// ({0}, {name}, {{count}}) and printf conversions (%s, %1$d; %% becomes %)
// removed: what is not drawn.
std::u32string strip_markup(std::u32string_view text);

}  // namespace charlib
