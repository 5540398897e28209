#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "messages/language.h"

// The project as the studio edits it: the jobs of a charlib.toml, each a
// name, charlib-cli's options by their long names and the sources. Paths are
// as seen from the current folder, which is the project's own once it is saved.
namespace charlib::studio {

struct JobSettings {
    std::string name;
    std::vector<std::pair<std::string, std::string>> options;  // key (long name without --), value; "" for a flag
    std::vector<std::string> sources;

    std::vector<std::string> values(std::string_view key) const;
    std::string value(std::string_view key) const;  // the first; "" when not set
    bool has(std::string_view key) const;
    // Replaces every value of the key, at the place of its first; none takes the key away.
    void set(std::string_view key, const std::vector<std::string>& values);
    void set_flag(std::string_view key, bool on);

    bool operator==(const JobSettings&) const = default;
};

// The command line a job stands for: --key=value or --flag, then --, then the sources.
std::vector<std::string> args_of(const JobSettings& job);
// A job from such a command line (as a project file's jobs are read). Throws UsageError.
JobSettings job_of(std::string name, const std::vector<std::string>& args, Language language);
// The line to paste into a shell: the same job run by charlib-cli from `folder`.
std::string command_line(const JobSettings& job, const std::filesystem::path& folder);
// Whether one of `jobs` is named `name`.
bool name_taken(const std::string& name, const std::vector<JobSettings>& jobs);
// `base`, or base-2, base-3... whichever none of `jobs` is named.
std::string unused_name(const std::string& base, const std::vector<JobSettings>& jobs);

struct ProjectModel {
    std::filesystem::path path;  // empty: not saved yet
    std::vector<JobSettings> jobs;
    bool operator==(const ProjectModel&) const = default;
};

// Reads a project file: its jobs, its [defaults] given to each. Throws UsageError.
ProjectModel open_project(const std::filesystem::path& path, Language language);
// The text of the project file at `path`, checked as charlib-cli build reads it. Throws UsageError.
std::string project_text(const ProjectModel& project, const std::filesystem::path& path, Language language);
// Writes the project to `path` whole (beside it, then renamed over it). Throws UsageError, or Failure.
void save_project(const ProjectModel& project, const std::filesystem::path& path, Language language);

}  // namespace charlib::studio
