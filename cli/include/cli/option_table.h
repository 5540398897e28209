#pragma once
// Every option of charlib-cli, declared once: the parser, the checks of
// allowed values, --help, the man pages and the bash completion are made from
// this table (and a project file's keys and a studio's controls can be).

#include <string>
#include <string_view>
#include <vector>

#include "messages/language.h"

namespace charlib::cli {

// The sections of the help, in order.
// Project: what makes a job of a command line; Build: charlib-cli build's own options.
enum class OptionGroup { Selection, Sources, TranslationFiles, Choosing, Output, Font, Atlas, Web, Project, Build };

// What the completion offers for a value beyond its allowed values.
enum class Completion {
    Nothing,  // typed by hand
    Files,
    Folders,
    FontFiles,  // *.ttf, *.otf, *.ttc, *.otc and folders
    Faces,  // of the --font on the line: charlib-cli --font F --face list
    Columns,  // the header cells of the CSV or TSV file on the line
};

struct OptionInfo {
    std::string_view short_name;  // "-m", or empty
    std::string_view long_name;  // "--marker"
    std::string_view value_name;  // "TEXT"; empty: a flag
    std::string_view default_value;  // empty: none, or one the help explains
    OptionGroup group;
    // The values it takes, all of them; nullptr: any the option's own check accepts.
    std::vector<std::string> (*values)() = nullptr;
    bool repeats = false;
    std::string_view help;  // English; the catalog has the Chinese
    Completion completion = Completion::Nothing;
    std::vector<std::string_view> suggestions = {};  // offered, not enforced
};

// In the order of the help.
const std::vector<OptionInfo>& option_table();
// By its long name; the name must be in the table.
const OptionInfo& option_info(std::string_view long_name);
// charlib-cli build's option of that name.
const OptionInfo& build_option_info(std::string_view long_name);
// Whether a job of a project file takes the option as a key (its long name without --).
bool is_job_key(const OptionInfo& option);
// "-m, --marker" or "--marker".
std::string option_names(const OptionInfo& option);

// The allowed values of an option joined for a message: "a、b、c" or "a, b, c".
std::string allowed_values(const OptionInfo& option, Language language);
// `given` when the option allows it; else throws UsageError naming the allowed values.
const std::string& checked_value(std::string_view long_name, const std::string& given, Language language);
// Throws the UsageError of a value the option does not take.
[[noreturn]] void refuse_value(std::string_view long_name, const std::string& given, Language language);

// The title of a group in the help, in English.
std::string_view group_title(OptionGroup group);

// An example command and what it does, in English.
struct Example {
    std::string_view purpose;
    std::string_view command;
};
const std::vector<Example>& examples();

// An output format (-f) and what it writes, in English.
struct FormatHelp {
    std::string_view name;
    std::string_view help;
};
const std::vector<FormatHelp>& output_formats_help();

}  // namespace charlib::cli
