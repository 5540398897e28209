#include "cli/project.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/option_table.h"
#include "messages/catalog.h"

namespace charlib::cli {

namespace {

struct KeyPlace {
    std::size_t line = 0, column = 0;
};

KeyPlace place_of(const toml::source_region& region)
{
    return {region.begin.line, region.begin.column};
}

// A key of a job or of [defaults].
struct Setting {
    std::string key;
    const toml::node* value;
    KeyPlace at;
};

class Refusal {
public:
    Refusal(std::filesystem::path file, Language language) : file_(std::move(file)), language_(language) {}

    [[noreturn]] void at(KeyPlace place, const std::string& problem) const
    {
        throw UsageError(tr(language_, "{file}:{line}:{column}: {problem}",
            {{"file", file_.string()}, {"line", std::to_string(place.line)},
                {"column", std::to_string(place.column)}, {"problem", problem}}));
    }
    [[noreturn]] void key(const Setting& setting, const std::string& problem) const
    {
        at(setting.at, tr(language_, "“{key}”: {problem}", {{"key", setting.key}, {"problem", problem}}));
    }

private:
    std::filesystem::path file_;
    Language language_;
};

const OptionInfo* job_option(std::string_view key)
{
    for (const OptionInfo& option : option_table())
        if (is_job_key(option) && option.long_name.substr(2) == key) return &option;
    return nullptr;
}

std::size_t edits_between(std::string_view a, std::string_view b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// A key no job takes, with the one that was perhaps meant.
std::string unknown_key(std::string_view key, Language language)
{
    std::string nearest;
    std::size_t best = 3;
    for (const OptionInfo& option : option_table()) {
        if (!is_job_key(option)) continue;
        const std::size_t edits = edits_between(key, option.long_name.substr(2));
        if (edits < best) {
            best = edits;
            nearest = option.long_name.substr(2);
        }
    }
    const std::string unknown = tr(language,
        "a job has no such key (its keys are charlib-cli's options by their long names, such as size or font, "
        "and name and sources)");
    return nearest.empty() ? unknown : unknown + tr(language, "; did you mean “{key}”?", {{"key", nearest}});
}

bool names_a_path(const OptionInfo& option)
{
    return option.completion == Completion::Files || option.completion == Completion::Folders ||
        option.completion == Completion::FontFiles;
}

// A path of the file as seen from the current folder.
std::string from_folder(const std::filesystem::path& folder, const std::string& path)
{
    if (path.empty() || path == "-" || std::filesystem::path(path).is_absolute()) return path;
    return (folder / path).lexically_normal().string();
}

// A value as the command line gives it: a string, or a whole number.
std::optional<std::string> word_of(const toml::node& node)
{
    if (const auto text = node.value_exact<std::string>()) return *text;
    if (const auto number = node.value_exact<std::int64_t>()) return std::to_string(*number);
    return std::nullopt;
}

// The words a string or an array of strings gives; nothing when it is neither.
std::optional<std::vector<std::string>> words_of(const toml::node& node)
{
    if (const toml::array* array = node.as_array()) {
        std::vector<std::string> words;
        for (const toml::node& element : *array) {
            std::optional<std::string> word = word_of(element);
            if (!word) return std::nullopt;
            words.push_back(std::move(*word));
        }
        return words;
    }
    if (std::optional<std::string> word = word_of(node)) return std::vector<std::string>{std::move(*word)};
    return std::nullopt;
}

// The keys of a table, in the file's order.
std::vector<Setting> settings_of(const toml::table& table)
{
    std::vector<Setting> settings;
    for (const auto& [key, value] : table)
        settings.push_back({std::string(key.str()), &value, place_of(key.source())});
    std::sort(settings.begin(), settings.end(), [](const Setting& a, const Setting& b) {
        return std::tie(a.at.line, a.at.column) < std::tie(b.at.line, b.at.column);
    });
    return settings;
}

// Whether `message` names the option, not merely a longer one that begins with its name.
std::size_t where_named(const std::string& message, std::string_view name)
{
    for (std::size_t at = message.find(name); at != std::string::npos; at = message.find(name, at + 1)) {
        const std::size_t end = at + name.size();
        const bool whole = end == message.size() ||
            !(std::isalnum(static_cast<unsigned char>(message[end])) || message[end] == '-');
        if (whole) return at;
    }
    return std::string::npos;
}

class JobReader {
public:
    JobReader(const std::filesystem::path& file, Language language) :
        refuse_(file, language),
        folder_(file.parent_path()),
        language_(language)
    {
    }

    // The checked keys of [defaults].
    void set_defaults(const toml::table& table)
    {
        for (const Setting& setting : settings_of(table)) {
            if (setting.key == "name")
                refuse_.key(setting, tr(language_, "each job has its own name: it cannot be in [defaults]"));
            check(setting);
            defaults_.push_back(setting);
        }
    }

    Job read(const toml::table& table, const std::vector<std::string>& names_so_far)
    {
        const KeyPlace header = place_of(table.source());
        Job job;
        std::vector<Setting> settings;
        std::map<std::string, bool> own;
        for (const Setting& setting : settings_of(table)) {
            if (setting.key == "name") {
                const std::optional<std::string> name = setting.value->value_exact<std::string>();
                if (!name) refuse_.key(setting, tr(language_, "the name of a job is a string"));
                if (name->empty() || name->find_first_of(" \t\r\n") != std::string::npos || name->starts_with('-'))
                    refuse_.key(setting, tr(language_, "a job's name is a word with no spaces, not beginning with -"));
                if (name->ends_with(".toml"))
                    refuse_.key(setting, tr(language_, "a job's name cannot end with .toml, as project files do"));
                if (std::find(names_so_far.begin(), names_so_far.end(), *name) != names_so_far.end())
                    refuse_.key(setting, tr(language_, "another job has the name “{name}”", {{"name", *name}}));
                job.name = *name;
                continue;
            }
            check(setting);
            own[setting.key] = true;
            settings.push_back(setting);
        }
        if (job.name.empty()) refuse_.at(header, tr(language_, "a job needs a name: name = \"…\""));
        // The defaults first, then the job's own, each in the file's order: --add and the like keep their order.
        std::vector<Setting> all;
        for (const Setting& setting : defaults_)
            if (!own.contains(setting.key)) all.push_back(setting);
        all.insert(all.end(), settings.begin(), settings.end());
        const Setting* sources = nullptr;
        for (const Setting& setting : all) {
            if (setting.key == "sources") {
                sources = &setting;
                continue;
            }
            const OptionInfo& option = *job_option(setting.key);
            const std::string name(option.long_name);
            if (option.value_name.empty()) {
                if (*setting.value->value_exact<bool>()) job.args.push_back(name);
                continue;
            }
            const std::vector<std::string> words = *words_of(*setting.value);
            for (const std::string& word : words)
                job.args.push_back(name + "=" + (names_a_path(option) ? from_folder(folder_, word) : word));
        }
        if (!sources) refuse_.at(header, tr(language_, "the job “{name}” has no sources = […]", {{"name", job.name}}));
        job.args.push_back("--");
        const std::vector<std::string> paths = *words_of(*sources->value);
        for (const std::string& source : paths) {
            if (source.empty() || source == "-")
                refuse_.key(*sources, tr(language_, "a source of a job is a file or a folder, not standard input"));
            job.args.push_back(from_folder(folder_, source));
        }
        job.plan = planned(job, all, header);
        return job;
    }

private:
    // A key a job takes, with a value of the kind its option takes.
    void check(const Setting& setting) const
    {
        if (setting.key == "sources") {
            const std::optional<std::vector<std::string>> paths = words_of(*setting.value);
            if (!paths || paths->empty())
                refuse_.key(setting, tr(language_, "sources is a string or an array of strings"));
            return;
        }
        const OptionInfo* option = job_option(setting.key);
        if (!option) refuse_.key(setting, unknown_key(setting.key, language_));
        if (option->value_name.empty()) {
            if (!setting.value->is_boolean()) refuse_.key(setting, tr(language_, "this key is true or false"));
        } else if (option->repeats) {
            if (!words_of(*setting.value))
                refuse_.key(setting, tr(language_, "this key is a string, or an array of strings"));
        } else if (!word_of(*setting.value)) {
            refuse_.key(setting, tr(language_, "this key is a string (or a whole number)"));
        }
    }

    // The job's command line planned as charlib-cli plans one, a problem named at the key it comes from.
    Plan planned(const Job& job, const std::vector<Setting>& settings, KeyPlace header) const
    {
        std::variant<Plan, Answer> asked;
        try {
            asked = plan_of(job.args, language_);
        } catch (const UsageError& error) {
            const std::string message = error.what();
            const Setting* named = nullptr;
            std::size_t first = std::string::npos;
            for (const Setting& setting : settings) {
                const OptionInfo* option = job_option(setting.key);
                if (!option) continue;
                for (std::string_view name : {option->long_name, option->short_name}) {
                    const std::size_t at = name.empty() ? std::string::npos : where_named(message, name);
                    if (at < first) {
                        first = at;
                        named = &setting;
                    }
                }
            }
            if (named) refuse_.key(*named, message);
            refuse_.at(header, tr(language_, "the job “{name}”: {problem}", {{"name", job.name}, {"problem", message}}));
        }
        if (std::holds_alternative<Answer>(asked))
            refuse_.at(header, tr(language_, "the job “{name}” asks for the faces of a font, not for files",
                {{"name", job.name}}));
        Plan plan = std::get<Plan>(std::move(asked));
        if (plan.output.path && *plan.output.path == "-")
            refuse_.at(header, tr(language_, "the job “{name}” writes to standard output: a job writes files",
                {{"name", job.name}}));
        if (plan.prints_set())
            refuse_.at(header, tr(language_,
                "the job “{name}” writes no file: give it output, or a font's subset, atlas, web or preview",
                {{"name", job.name}}));
        return plan;
    }

    Refusal refuse_;
    std::filesystem::path folder_;
    Language language_;
    std::vector<Setting> defaults_;
};

}  // namespace

Project project_from_text(std::string_view text, const std::filesystem::path& path, Language language)
{
    const Refusal refuse(path, language);
    toml::table document;
    try {
        document = toml::parse(text, path.string());
    } catch (const toml::parse_error& error) {
        refuse.at(place_of(error.source()),
            tr(language, "this is not TOML: {reason}", {{"reason", std::string(error.description())}}));
    }
    Project project{path, {}};
    JobReader reader(path, language);
    const toml::array* fonts = nullptr;
    for (const Setting& setting : settings_of(document)) {
        if (setting.key == "defaults" && setting.value->is_table()) {
            reader.set_defaults(*setting.value->as_table());
        } else if (setting.key == "font" && setting.value->is_array_of_tables()) {
            fonts = setting.value->as_array();
        } else {
            refuse.key(setting,
                tr(language, "a project file has a [defaults] table and [[font]] tables, one for each job, and nothing else"));
        }
    }
    if (!fonts || fonts->empty())
        refuse.at({1, 1}, tr(language, "the project has no job: add a [[font]] table with its name and sources"));
    std::vector<std::string> names;
    for (const toml::node& table : *fonts) {
        project.jobs.push_back(reader.read(*table.as_table(), names));
        names.push_back(project.jobs.back().name);
    }
    return project;
}

std::string read_project_text(const std::filesystem::path& path, Language language)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    if (!file || !(text << file.rdbuf()))
        throw UsageError(tr(language, "Cannot read the project file “{path}”", {{"path", path.string()}}));
    return std::move(text).str();
}

Project read_project(const std::filesystem::path& path, Language language)
{
    return project_from_text(read_project_text(path, language), path, language);
}

std::optional<std::filesystem::path> find_project_file()
{
    std::error_code error;
    std::filesystem::path up;
    const std::filesystem::path here = std::filesystem::current_path(error);
    for (std::filesystem::path folder = here; !error; folder = folder.parent_path()) {
        if (std::filesystem::is_regular_file(folder / project_file_name, error))
            return (up / project_file_name).lexically_normal();
        if (folder == folder.parent_path()) break;
        up /= "..";
    }
    return std::nullopt;
}

namespace {

// A string in TOML.
std::string toml_string(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// A whole number as a number (size = 24), else a string.
std::string toml_scalar(const std::string& value)
{
    const bool number = !value.empty() && value.size() < 10 && value.find_first_not_of("0123456789") == std::string::npos &&
        (value == "0" || value[0] != '0');
    return number ? value : toml_string(value);
}

std::string toml_value(const std::vector<std::string>& values, bool array)
{
    if (!array) return toml_scalar(values.front());
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i)
        out += (i ? ", " : "") + toml_scalar(values[i]);
    return out + "]";
}

const OptionInfo* option_named(std::string_view name)
{
    for (const OptionInfo& option : option_table())
        if (option.group != OptionGroup::Build && (option.long_name == name || option.short_name == name))
            return &option;
    return nullptr;
}

// A path given on the command line, as seen from the project file's folder.
std::string from_project(const std::string& path, const std::filesystem::path& project)
{
    if (path == "-" || std::filesystem::path(path).is_absolute()) return path;
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::absolute(
        project.has_parent_path() ? project.parent_path() : std::filesystem::path("."), error);
    return std::filesystem::absolute(path, error).lexically_normal().lexically_proximate(folder.lexically_normal()).generic_string();
}

}  // namespace

std::string job_table(const std::vector<std::string>& args, std::string name, const std::filesystem::path& project,
    const std::vector<std::string>& taken, Language language)
{
    std::vector<std::pair<const OptionInfo*, std::vector<std::string>>> settings;
    std::vector<std::string> sources;
    const auto set = [&](const OptionInfo* option, const std::string& value) {
        if (option->group == OptionGroup::Project) return;
        const std::string given = names_a_path(*option) ? from_project(value, project) : value;
        for (auto& [known, values] : settings)
            if (known == option && option->repeats) return values.push_back(given);
        settings.push_back({option, {given}});
    };
    bool positional_only = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (positional_only || arg == "-" || !arg.starts_with('-')) {
            sources.push_back(from_project(arg, project));
        } else if (arg == "--") {
            positional_only = true;
        } else if (arg.starts_with("--")) {
            const std::size_t equals = arg.find('=');
            const OptionInfo* option = option_named(arg.substr(0, equals));
            if (!option) throw UsageError(tr(language, "Unknown option: {option}", {{"option", arg}}));
            if (option->value_name.empty())
                set(option, "");
            else if (equals != std::string::npos)
                set(option, arg.substr(equals + 1));
            else if (i + 1 < args.size())
                set(option, args[++i]);
        } else {
            // -rs, -m#, -m '#'
            for (std::size_t at = 1; at < arg.size(); ++at) {
                const OptionInfo* option = option_named(std::string("-") + arg[at]);
                if (!option) throw UsageError(tr(language, "Unknown option: {option}", {{"option", arg}}));
                if (option->value_name.empty()) {
                    set(option, "");
                    continue;
                }
                if (at + 1 < arg.size())
                    set(option, arg.substr(at + 1));
                else if (i + 1 < args.size())
                    set(option, args[++i]);
                break;
            }
        }
    }
    if (name.empty()) {
        // After its first output: the atlas, the web folder, the subset, the list.
        for (std::string_view output : {"--atlas", "--web", "--subset", "--output", "--preview"})
            for (const auto& [option, values] : settings)
                if (name.empty() && option->long_name == output)
                    name = std::filesystem::path(values.front()).lexically_normal().filename().stem().string();
        if (name.empty() || name.starts_with('-') || name.find_first_of(" \t") != std::string::npos) name = "job";
        const std::string base = name;
        for (int n = 2; std::find(taken.begin(), taken.end(), name) != taken.end(); ++n)
            name = base + "-" + std::to_string(n);
    }
    std::string table = "[[font]]\nname = " + toml_string(name) + "\nsources = " + toml_value(sources, true) + "\n";
    for (const auto& [option, values] : settings)
        table += std::string(option->long_name.substr(2)) + " = " +
            (option->value_name.empty() ? "true" : toml_value(values, option->repeats)) + "\n";
    return table;
}

}  // namespace charlib::cli
