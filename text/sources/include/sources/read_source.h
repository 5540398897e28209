#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/outcome.h"
#include "base/types.h"
#include "extract/extract.h"
#include "formats/entries.h"

namespace charlib {

// How translation files are read: their entries play the part of lines.
struct EntryRules {
    std::optional<TextFormat> format = TextFormat::Lines;  // nothing: told from the file's name (-t auto)
    bool note_lines = false;  // with no format: say when a file is read as lines for want of a known name
    std::optional<bool> strip_markup;  // nothing: strip in translation files, keep in lines
    std::vector<std::string> keys;  // globs (fnmatch); none: every entry
    std::vector<std::string> columns;  // csv/tsv
    std::optional<std::string> key_column;  // csv/tsv: as EntryOptions takes it ("": none; unset: by its header)
    bool xliff_source = false;
};

// Translation files are read whole, so they are held to this size.
inline constexpr std::uint64_t largest_translation_file = std::uint64_t{256} << 20;

// How a run reads each of its sources.
struct ReadingRules {
    std::optional<Encoding> encoding;  // nothing: told from the bytes
    std::optional<Newline> newline;  // nothing: the encoding's own
    Selection selection;
    bool facts = false;  // lines, selected lines and invalid sequences, for json and the report
    bool strict = false;  // invalid sequences make the source unusable
    Tuning tuning;  // the kernel (CHARLIB_ISA), threads
    EntryRules entries;
    std::size_t places = 0;  // how many places to keep of each character: 0, none (it costs a pass)
    std::size_t sample = 0;  // how many of the selected lines or entries to keep, in order: 0, none
};

// A sample line is cut to this many characters: a check page shows no more.
inline constexpr std::size_t longest_sample_line = 200;

struct SourceRead {
    Tally tally;
    SourceReport report;  // report.error: the source could not be used, and why
    bool encoding_guessed = false;  // told from the bytes, which could be read another way
    Notes warnings;  // what the user must hear of it
    Places places;  // up to ReadingRules::places of each character
    // The first ReadingRules::sample selected lines (without their line
    // break) or entries (their markup stripped), as the set sees them, each
    // cut to longest_sample_line characters.
    std::vector<std::u32string> sample;
};

// One source: a file, or a stream ("-" for standard input, a named pipe)
// copied first. A source that cannot be used (not found, a Control-Z,
// invalid sequences under `strict`) comes back with report.error set, never
// as an exception.
SourceRead read_source(const std::filesystem::path& source, const ReadingRules& rules);

}  // namespace charlib
