#include "sources/listing.h"

#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "files/input_file.h"

namespace charlib {

namespace {

bool hidden_name(const std::filesystem::path& path)
{
    const std::string name = path.filename().string();
    return name.size() > 1 && name[0] == '.' && name != "..";
}

bool matches(const std::string& name, const ListingRules& rules)
{
    return std::any_of(rules.patterns.begin(), rules.patterns.end(), [&](const NamePattern& pattern) {
        return fnmatch(pattern.pattern.c_str(), name.c_str(), pattern.ignore_case ? FNM_CASEFOLD : 0) == 0;
    });
}

// The files below `folder` whose names match, in sorted order; what matches
// but cannot be read as a text goes to `skipped`.
std::vector<std::filesystem::path> files_below(
    const std::filesystem::path& folder, const ListingRules& rules, std::vector<Skipped>& skipped)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> found;
    std::error_code error;
    fs::recursive_directory_iterator entry(folder, fs::directory_options::skip_permission_denied, error);
    for (const fs::recursive_directory_iterator end; !error && entry != end; entry.increment(error)) {
        const fs::path& path = entry->path();
        std::error_code ignored;
        const bool is_folder = entry->is_directory(ignored);
        if (!rules.hidden && hidden_name(path)) {
            if (is_folder) entry.disable_recursion_pending();
            continue;
        }
        const bool link = entry->is_symlink(ignored);
        if (is_folder && link) {
            skipped.push_back({path, Outcome(Code::FolderLink)});
            continue;
        }
        if (is_folder && ::access(path.c_str(), R_OK | X_OK) != 0) {
            skipped.push_back({path, Outcome(Code::CannotReadFolder, {{"error", SystemError{EACCES}}})});
            entry.disable_recursion_pending();
            continue;
        }
        if (!matches(path.filename().string(), rules)) continue;
        if (rules.leave_out && rules.leave_out(path)) continue;
        if (entry->is_regular_file(ignored))
            found.push_back(path);
        else if (is_folder)
            skipped.push_back({path, Outcome(Code::IsAFolder)});
        else if (link && !fs::exists(path, ignored))
            skipped.push_back({path, Outcome(Code::DanglingLink)});
        else
            skipped.push_back({path, Outcome(Code::NotARegularFile)});
    }
    if (error)
        skipped.push_back({folder, Outcome(Code::CannotReadFolder, {{"error", SystemError{error.value()}}})});
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

SourceListing list_sources(const std::vector<std::filesystem::path>& given, const ListingRules& rules)
{
    SourceListing listing;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::filesystem::path> seen;
    const auto add = [&](const std::filesystem::path& path) {
        const std::optional<FileId> id = path == "-" ? std::nullopt : file_id(path);
        if (id) {
            const auto [first, added] = seen.try_emplace({id->device, id->inode}, path);
            if (!added) {
                listing.skipped.push_back({path, Outcome(Code::SameFile, {{"other", first->second}})});
                return;
            }
        }
        listing.files.push_back(path);
    };
    for (const std::filesystem::path& source : given) {
        std::error_code error;
        if (!rules.recursive || !std::filesystem::is_directory(source, error)) {
            add(source);
            continue;
        }
        for (const std::filesystem::path& file : files_below(source, rules, listing.skipped))
            add(file);
    }
    return listing;
}

}  // namespace charlib
