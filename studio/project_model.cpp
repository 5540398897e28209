#include "studio/project_model.h"

#include <algorithm>

#include "cli/plan.h"
#include "cli/project.h"
#include "files/output_file.h"
#include "messages/catalog.h"

namespace charlib::studio {

std::vector<std::string> JobSettings::values(std::string_view key) const
{
    std::vector<std::string> found;
    for (const auto& [name, value] : options)
        if (name == key) found.push_back(value);
    return found;
}

std::string JobSettings::value(std::string_view key) const
{
    for (const auto& [name, value] : options)
        if (name == key) return value;
    return {};
}

bool JobSettings::has(std::string_view key) const
{
    return std::any_of(options.begin(), options.end(), [&](const auto& option) { return option.first == key; });
}

void JobSettings::set(std::string_view key, const std::vector<std::string>& values)
{
    auto first = std::find_if(options.begin(), options.end(), [&](const auto& option) { return option.first == key; });
    const std::ptrdiff_t at = first - options.begin();
    std::erase_if(options, [&](const auto& option) { return option.first == key; });
    auto place = options.begin() + std::min<std::ptrdiff_t>(at, static_cast<std::ptrdiff_t>(options.size()));
    for (const std::string& value : values)
        place = std::next(options.insert(place, {std::string(key), value}));
}

void JobSettings::set_flag(std::string_view key, bool on)
{
    set(key, on ? std::vector<std::string>{""} : std::vector<std::string>{});
}

std::vector<std::string> args_of(const JobSettings& job)
{
    std::vector<std::string> args;
    for (const auto& [key, value] : job.options)
        args.push_back("--" + key + (value.empty() ? "" : "=" + value));
    args.push_back("--");
    args.insert(args.end(), job.sources.begin(), job.sources.end());
    return args;
}

JobSettings job_of(std::string name, const std::vector<std::string>& args, Language language)
{
    JobSettings job{std::move(name), {}, {}};
    bool sources = false;
    for (const std::string& arg : args) {
        if (sources || arg == "-" || !arg.starts_with("--")) {
            if (!sources && arg.starts_with('-') && arg != "-")
                throw cli::UsageError(tr(language, "Unknown option: {option}", {{"option", arg}}));
            job.sources.push_back(arg);
        } else if (arg == "--") {
            sources = true;
        } else {
            const std::size_t equals = arg.find('=');
            job.options.emplace_back(
                arg.substr(2, equals - 2), equals == std::string::npos ? "" : arg.substr(equals + 1));
        }
    }
    return job;
}

namespace {

// Quoted for a POSIX shell unless it needs no quotes.
std::string shell_word(const std::string& word)
{
    if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                                "-_./=:,+@%") == std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

std::string command_line(const JobSettings& job, const std::filesystem::path& folder)
{
    std::string line = "cd " + shell_word(std::filesystem::absolute(folder).lexically_normal().string()) +
        " && charlib-cli";
    for (const std::string& arg : args_of(job))
        line += " " + shell_word(arg);
    return line;
}

bool name_taken(const std::string& name, const std::vector<JobSettings>& jobs)
{
    return std::any_of(jobs.begin(), jobs.end(), [&](const JobSettings& job) { return job.name == name; });
}

std::string unused_name(const std::string& base, const std::vector<JobSettings>& jobs)
{
    std::string name = base;
    for (int n = 2; name_taken(name, jobs); ++n)
        name = base + "-" + std::to_string(n);
    return name;
}

ProjectModel open_project(const std::filesystem::path& path, Language language)
{
    const cli::Project read = cli::read_project(path, language);
    ProjectModel project{path, {}};
    for (const cli::Job& job : read.jobs)
        project.jobs.push_back(job_of(job.name, job.args, language));
    return project;
}

std::string project_text(const ProjectModel& project, const std::filesystem::path& path, Language language)
{
    std::string text = "# " + tr(language, "Made by Charlib Studio; charlib-cli build builds it.") + "\n";
    std::vector<std::string> taken;
    for (const JobSettings& job : project.jobs) {
        if (job.name.empty()) throw cli::UsageError(tr(language, "A job has no name"));
        if (job.sources.empty())
            throw cli::UsageError(tr(language, "The job “{name}” has no sources: add files or a folder to it",
                {{"name", job.name}}));
        text += "\n" + cli::job_table(args_of(job), job.name, path, taken, language);
        taken.push_back(job.name);
    }
    cli::project_from_text(text, path, language);  // as charlib-cli build will read it
    return text;
}

void save_project(const ProjectModel& project, const std::filesystem::path& path, Language language)
{
    replace_file(path, project_text(project, path, language));
}

}  // namespace charlib::studio
