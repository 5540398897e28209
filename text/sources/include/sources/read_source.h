#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/types.h"
#include "extract/extract.h"

namespace charlib {

// How a run reads each of its sources.
struct ReadingRules {
    std::optional<Encoding> encoding;  // nothing: told from the bytes
    std::optional<Newline> newline;  // nothing: the encoding's own
    Selection selection;
    bool facts = false;  // lines, selected lines and invalid sequences, for json and the report
    bool strict = false;  // invalid sequences make the source unusable
    Tuning tuning;  // the kernel (CHARLIB_ISA), threads
};

struct SourceRead {
    Tally tally;
    SourceReport report;  // report.error: the source could not be used, and why
    bool encoding_guessed = false;  // told from the bytes, which could be read another way
    std::vector<std::string> warnings;  // what the user must hear of it, in Chinese
};

// One source: a file, or a stream ("-" for standard input, a named pipe)
// copied first. A source that cannot be used (not found, a Control-Z,
// invalid sequences under `strict`) comes back with report.error set, never
// as an exception.
SourceRead read_source(const std::filesystem::path& source, const ReadingRules& rules);

}  // namespace charlib
