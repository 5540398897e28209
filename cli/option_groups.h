#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/plan.h"

namespace CLI {
class App;
}

// The options of charlib-cli in groups. Each group declares its options to
// CLI11 under the names of the table of options (cli/option_table.h), keeps
// what was given as given, and then makes its own piece of the plan,
// throwing UsageError, in the user's language, for a value out of range or an
// option that needs another. CLI11 writes into a group's members: a group stays put once added.
namespace charlib::cli {

class SourceOptions {
public:
    void add_to(CLI::App& app);
    // `offset`: -n, which only lines have, so that the format is lines unless -t says otherwise.
    SourcePlan plan(bool offset, Language language) const;
    bool has_patterns() const { return !globs_.empty() || !iglobs_.empty(); }

private:
    std::vector<std::string> paths_;
    bool recursive_ = false;
    std::vector<std::string> globs_, iglobs_;
    bool hidden_ = false;
    std::optional<std::string> encoding_;  // nothing: told from the bytes, or the translation file's own
    std::optional<std::string> newline_;
    bool keep_going_ = false;
    bool strict_ = false;
    // Translation files.
    std::optional<std::string> text_format_;  // nothing: auto, or lines with -n
    std::optional<std::string> markup_;
    std::vector<std::string> keys_, columns_;
    std::optional<std::string> key_column_;
    bool xliff_source_ = false;
};

class SelectionOptions {
public:
    void add_to(CLI::App& app);
    Selection plan(Language language) const;
    bool has_offset() const { return offset_.find_first_not_of('0') != std::string::npos; }

private:
    std::string marker_;
    std::string offset_ = "0";
};

class ChoiceOptions {
public:
    void add_to(CLI::App& app);
    ChoicePlan plan(Language language) const;

private:
    std::vector<std::string> excludes_;
    std::optional<std::string> only_;
    bool no_ascii_ = false;
    std::optional<std::string> min_count_;
    std::string order_ = "first";
    bool sort_ = false;
    std::vector<std::pair<std::string, std::string>> additions_;  // option and value, in the order given
};

class OutputOptions {
public:
    void add_to(CLI::App& app);
    OutputPlan plan(Language language) const;

private:
    std::optional<std::string> format_;  // nothing: text, and with font outputs alone nothing printed
    std::optional<std::string> tbl_start_;
    std::optional<std::string> path_;
    std::optional<std::string> encoding_;
    bool replace_unmappable_ = false;
    bool report_ = false;
    std::optional<std::string> locations_;
};

// Every font option needs --font; the atlas's own need --atlas.
class FontOptions {
public:
    void add_to(CLI::App& app);
    std::optional<FontPlan> plan(Language language) const;
    // The font whose faces --face list asks for.
    std::optional<std::filesystem::path> faces_asked(Language language) const;

private:
    std::optional<std::string> font_, face_, subset_, layout_features_, atlas_, size_, padding_, page_,
        preview_, spread_, atlas_format_, grid_, grid_columns_, web_, chunk_size_, family_, engine_, css_,
        url_prefix_;
    bool require_all_ = false;
    bool missing_only_ = false;
    bool mono_ = false;
    bool sdf_ = false;
    bool no_kerning_ = false;
    bool atlas_keep_ = false;
    bool web_all_ = false;
    bool web_fresh_ = false;
};

// Every group, read from one command line.
// --save-job and its --job.
class ProjectOptions {
public:
    void add_to(CLI::App& app);
    // Nothing: run the command line; else where to save it as a job, and the job's name (empty: chosen).
    std::optional<std::pair<std::filesystem::path, std::string>> plan(Language language) const;

private:
    std::optional<std::string> save_job_, job_;
};

struct OptionGroups {
    SourceOptions sources;
    SelectionOptions selection;
    ChoiceOptions choosing;
    OutputOptions output;
    FontOptions font;
    ProjectOptions project;

    // Reads the arguments (without the program's name) into the groups.
    // Returns the text --help or --version asks for; throws UsageError.
    std::optional<std::string> parse(std::vector<std::string> args, Language language);
};

}  // namespace charlib::cli
