#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/plan.h"
#include "messages/language.h"

// A project file, charlib.toml: one [[font]] table for each job, whose keys are
// charlib-cli's options by their long names, and a [defaults] table every job
// starts from. Its paths are relative to its folder.
namespace charlib::cli {

inline constexpr std::string_view project_file_name = "charlib.toml";

// A job of a project: the command line it stands for, and its plan.
struct Job {
    std::string name;
    std::vector<std::string> args;  // as charlib-cli takes them, paths as seen from the current folder
    Plan plan;
};

struct Project {
    std::filesystem::path path;  // as given
    std::vector<Job> jobs;  // in the file's order
};

// Reads and checks a project file, every job planned, before any source is read. Throws
// UsageError, in the language, naming the file, line, column and key of the first problem.
Project read_project(const std::filesystem::path& path, Language language);
// The text of a project file. Throws UsageError when it cannot be read.
std::string read_project_text(const std::filesystem::path& path, Language language);
// The same, of the text of a file at `path`.
Project project_from_text(std::string_view text, const std::filesystem::path& path, Language language);

// ./charlib.toml, else the nearest in the folders above.
std::optional<std::filesystem::path> find_project_file();

// The [[font]] table that stands for a command line (without --save-job and
// --job), with its paths relative to the folder of the project file
// `project`, named `name` (empty: after its first output, made unique among `taken`).
// Throws UsageError.
std::string job_table(const std::vector<std::string>& args, std::string name, const std::filesystem::path& project,
    const std::vector<std::string>& taken, Language language);

}  // namespace charlib::cli
