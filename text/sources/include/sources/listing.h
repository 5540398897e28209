#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/outcome.h"

// Which files a command reads, and the names it knows encodings by.
namespace charlib {

// A file name pattern, as the shell matches names.
struct NamePattern {
    std::string pattern;
    bool ignore_case = false;
};

struct ListingRules {
    bool recursive = false;  // a folder given: the files below it that match
    std::vector<NamePattern> patterns = {{"*.txt"}};
    bool hidden = false;  // files and folders whose names begin with '.' too
    std::function<bool(const std::filesystem::path&)> leave_out = {};  // e.g. the run's own outputs
};

struct Skipped {
    std::filesystem::path path;
    Outcome reason;  // codes/sources.h: from FolderLink to SameFile
};

struct SourceListing {
    std::vector<std::filesystem::path> files;
    std::vector<Skipped> skipped;  // found by name but not read: the user must hear of them
};

// The sources a command names: files as given, and with `recursive` the
// files below each folder whose names match one of the patterns, in sorted
// path order. A file reached twice (by a link, or named twice) is read once.
// Below a folder, what cannot be read as a text (a named pipe, a device, a
// dangling link, a folder whose name matches) is skipped and listed; what is
// given by name is kept, to be read or refused by name.
SourceListing list_sources(const std::vector<std::filesystem::path>& given, const ListingRules& rules);

}  // namespace charlib
