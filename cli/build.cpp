#include "cli/build.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <csignal>

#include "cli/font_words.h"
#include "cli/manual.h"
#include "cli/option_table.h"
#include "cli/project.h"
#include "cli/run.h"
#include "cli/watch.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "messages/catalog.h"
#include "prepared.h"
#include "sources/listing.h"

namespace charlib::cli {

namespace {

constexpr const char* state_file_name = ".charlib-state.json";
constexpr int state_version = 1;

void say(std::ostream& out, const std::string& text)
{
    out << "charlib-cli: " << text << "\n";
}

// FNV-1a, 64 bits: enough to tell an edited file from the one built before.
class Digest {
public:
    void add(std::string_view bytes)
    {
        for (unsigned char byte : bytes) {
            value_ ^= byte;
            value_ *= 0x100000001b3ULL;
        }
    }
    std::string hex() const
    {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value_));
        return text;
    }

private:
    std::uint64_t value_ = 0xcbf29ce484222325ULL;
};

// A file a job reads, as it was when the job was built.
struct Stamp {
    std::string path;  // from the project's folder
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds
    std::string digest;  // of the contents
};

struct JobState {
    std::string settings;  // a digest of the job's command line and Charlib's version
    std::vector<Stamp> inputs;
    std::size_t characters = 0, missing = 0;
    std::vector<std::string> outputs;  // every file it wrote or kept, from the project's folder
};

class Build {
public:
    Build(Project project, Language language) :
        project_(std::move(project)),
        folder_(project_.path.parent_path()),
        state_path_(folder_ / state_file_name),
        language_(language)
    {
        load_state();
    }

    // The key of a path in the state: from the project's folder, so that a build from another folder agrees.
    std::string key_of(const std::filesystem::path& path) const
    {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::absolute(folder_.empty() ? "." : folder_, error);
        return std::filesystem::absolute(path, error).lexically_normal().lexically_proximate(base).generic_string();
    }

    std::optional<Stamp> stamp(const std::filesystem::path& path, const Stamp* earlier) const
    {
        struct stat status { };
        // A pipe is read once, by the build: it has no digest, and its job is always built.
        if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
        Stamp stamp{key_of(path), static_cast<std::uint64_t>(status.st_size),
            std::int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec, ""};
        // A file of the same size and time is taken as the same without reading it again.
        if (earlier && earlier->path == stamp.path && earlier->size == stamp.size &&
            earlier->modified == stamp.modified)
            return *earlier;
        try {
            InputFile file(path);
            Digest digest;
            std::vector<char> buffer(1 << 16);
            while (const std::size_t got = file.read(buffer.data(), buffer.size()))
                digest.add({buffer.data(), got});
            stamp.digest = digest.hex();
        } catch (const Failure&) {
            return std::nullopt;
        }
        return stamp;
    }

    // Every file the job would read now: its sources as -r finds them, the lists and the font.
    std::optional<std::vector<std::filesystem::path>> inputs_now(const Job& job) const
    {
        try {
            const std::vector<std::filesystem::path> outputs = named_outputs(job.plan);
            ListingRules rules = job.plan.sources.listing;
            rules.leave_out = [&](const std::filesystem::path& path) {
                return std::find(outputs.begin(), outputs.end(), path) != outputs.end();
            };
            SourceListing listing = list_sources(job.plan.sources.paths, rules);
            std::vector<std::filesystem::path> inputs = std::move(listing.files);
            const ChoicePlan& choosing = job.plan.choosing;
            inputs.insert(inputs.end(), choosing.excludes.begin(), choosing.excludes.end());
            for (const Addition& addition : choosing.additions)
                if (const auto* file = std::get_if<std::filesystem::path>(&addition)) inputs.push_back(*file);
            if (job.plan.font) inputs.push_back(job.plan.font->path);
            return inputs;
        } catch (const Failure&) {
            return std::nullopt;
        }
    }

    std::string settings_of(const Job& job) const
    {
        Digest digest;
        digest.add(CHARLIB_VERSION);
        for (const std::string& arg : job.args) {
            digest.add(std::string_view("\0", 1));
            digest.add(arg);
        }
        return digest.hex();
    }

    // Whether the job's outputs were made from what it reads now, with the same settings.
    bool unchanged(const Job& job, const std::vector<std::filesystem::path>& inputs) const
    {
        const auto known = state_.find(job.name);
        if (known == state_.end() || known->second.settings != settings_of(job)) return false;
        const std::vector<Stamp>& before = known->second.inputs;
        if (before.size() != inputs.size()) return false;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            // Touched but not changed is unchanged.
            const std::optional<Stamp> now = stamp(inputs[i], &before[i]);
            if (!now || now->path != before[i].path || now->digest != before[i].digest) return false;
        }
        // An output deleted since (an atlas's page, a web piece) is made again.
        std::error_code error;
        const std::filesystem::path base = folder_.empty() ? "." : folder_;
        for (const std::string& output : known->second.outputs)
            if (!std::filesystem::exists(base / output, error)) return false;
        for (const std::filesystem::path& output : named_outputs(job.plan))
            if (!std::filesystem::exists(output, error)) return false;
        return true;
    }

    void remember(const Job& job, const Prepared& prepared)
    {
        JobState& state = state_[job.name];
        const std::map<std::string, Stamp> before = [&] {
            std::map<std::string, Stamp> by_path;
            for (const Stamp& stamp : state.inputs)
                by_path[stamp.path] = stamp;
            return by_path;
        }();
        state = JobState{settings_of(job), {}, prepared.characters, prepared.missing, {}};
        for (const auto& [path, bytes] : prepared.files)
            state.outputs.push_back(key_of(path));
        for (const std::filesystem::path& path : prepared.kept)
            state.outputs.push_back(key_of(path));
        for (const std::filesystem::path& input : prepared.inputs) {
            const auto earlier = before.find(key_of(input));
            if (const std::optional<Stamp> now = stamp(input, earlier == before.end() ? nullptr : &earlier->second))
                state.inputs.push_back(*now);
        }
    }

    const JobState* state_of(const std::string& name) const
    {
        const auto found = state_.find(name);
        return found == state_.end() ? nullptr : &found->second;
    }

    // Written beside the project file; a state that cannot be written only costs a rebuild.
    void save_state(std::ostream& out) const
    {
        nlohmann::json jobs = nlohmann::json::object();
        for (const auto& [name, state] : state_) {
            nlohmann::json inputs = nlohmann::json::array();
            for (const Stamp& stamp : state.inputs)
                inputs.push_back({stamp.path, stamp.size, stamp.modified, stamp.digest});
            jobs[name] = {{"settings", state.settings}, {"inputs", inputs}, {"characters", state.characters},
                {"missing", state.missing}, {"outputs", state.outputs}};
        }
        const nlohmann::json all = {{"version", state_version}, {"jobs", jobs}};
        try {
            replace_file(state_path_, all.dump(1) + "\n");
        } catch (const Failure& failure) {
            say(out, tr(language_, "Note: {text}", {{"text", failure_words(failure, language_)}}));
        }
    }

    const Project& project() const { return project_; }

private:
    void load_state()
    {
        std::ifstream file(state_path_, std::ios::binary);
        if (!file) return;
        try {
            const nlohmann::json all = nlohmann::json::parse(file);
            if (all.at("version") != state_version) return;
            for (const auto& [name, job] : all.at("jobs").items()) {
                JobState state{job.at("settings").get<std::string>(), {}, job.at("characters").get<std::size_t>(),
                    job.at("missing").get<std::size_t>(), job.at("outputs").get<std::vector<std::string>>()};
                for (const nlohmann::json& input : job.at("inputs"))
                    state.inputs.push_back({input.at(0).get<std::string>(), input.at(1).get<std::uint64_t>(),
                        input.at(2).get<std::int64_t>(), input.at(3).get<std::string>()});
                state_[name] = std::move(state);
            }
        } catch (const nlohmann::json::exception&) {
            state_.clear();  // a damaged state: every job is built again
        }
    }

    Project project_;
    std::filesystem::path folder_;
    std::filesystem::path state_path_;
    Language language_;
    std::map<std::string, JobState> state_;
};

// The path as seen from elsewhere, for comparing outputs named two ways.
std::filesystem::path resolved(const std::filesystem::path& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
    const std::filesystem::path whole = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute : whole;
}

// The web folder a job writes into, as seen from elsewhere; empty when none.
std::filesystem::path web_folder_of(const Job& job)
{
    return job.plan.font && job.plan.font->web ? resolved(*job.plan.font->web) : std::filesystem::path();
}

// Refuses, before anything runs, two jobs that write one file, or a job that
// reads another's output. Jobs with one web folder share its manifest and
// stylesheets: a family's weights, made one after another.
void check_jobs_apart(const Project& project, Language language)
{
    std::vector<std::pair<std::filesystem::path, const Job*>> written;
    for (const Job& job : project.jobs)
        for (const std::filesystem::path& output : named_outputs(job.plan))
            written.emplace_back(resolved(output), &job);
    const auto shared = [](const std::filesystem::path& output, const Job& one, const Job& other) {
        const std::filesystem::path folder = web_folder_of(one);
        return !folder.empty() && folder == web_folder_of(other) && output.parent_path() == folder;
    };
    for (std::size_t i = 0; i < written.size(); ++i)
        for (std::size_t j = i + 1; j < written.size(); ++j)
            if (written[i].first == written[j].first && written[i].second != written[j].second &&
                !shared(written[i].first, *written[i].second, *written[j].second))
                throw UsageError(tr(language, "The jobs “{a}” and “{b}” both write “{path}”",
                    {{"a", written[i].second->name}, {"b", written[j].second->name},
                        {"path", written[i].first.string()}}));
    for (const Job& job : project.jobs) {
        std::vector<std::filesystem::path> read = job.plan.sources.paths;
        read.insert(read.end(), job.plan.choosing.excludes.begin(), job.plan.choosing.excludes.end());
        for (const Addition& addition : job.plan.choosing.additions)
            if (const auto* file = std::get_if<std::filesystem::path>(&addition)) read.push_back(*file);
        for (const std::filesystem::path& input : read)
            for (const auto& [output, writer] : written)
                if (writer != &job && resolved(input) == output)
                    throw UsageError(tr(language,
                        "The job “{job}” reads “{path}”, which the job “{writer}” writes: the jobs of a project "
                        "are built together, from the same inputs",
                        {{"job", job.name}, {"path", input.string()}, {"writer", writer->name}}));
    }
}

// The outputs a depfile names for a job: its files, but for web fonts the stylesheet alone.
std::vector<std::filesystem::path> depfile_targets(const Plan& plan)
{
    std::vector<std::filesystem::path> targets;
    for (const std::filesystem::path& output : named_outputs(plan)) {
        if (plan.font && plan.font->web && output.parent_path() == *plan.font->web &&
            output.filename() != plan.font->web_options.stylesheet)
            continue;
        targets.push_back(output);
    }
    return targets;
}

// A path in Make's syntax.
std::string make_escaped(const std::string& path)
{
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#' || c == '\\') out += '\\';
        if (c == '$') out += '$';
        out += c;
    }
    return out;
}

// One rule, as one command makes every output: all the jobs' outputs depend on every file a job read
// and the project file (CMake's Makefiles generator reads only what a command's first output depends
// on, and of a target named twice only its last rule). Each input is also a target with no inputs,
// as gcc -MP writes them, so that Make builds again rather than stops when one is deleted.
std::string depfile_text(const Build& build, const std::vector<const Job*>& jobs,
    const std::map<std::string, std::vector<std::filesystem::path>>& inputs)
{
    std::string targets;
    std::vector<std::string> read;
    std::set<std::string> seen;
    for (const Job* job : jobs) {
        for (const std::filesystem::path& target : depfile_targets(job->plan))
            targets += (targets.empty() ? "" : " ") + make_escaped(target.string());
        const auto found = inputs.find(job->name);
        if (found == inputs.end()) continue;
        for (const std::filesystem::path& input : found->second)
            if (seen.insert(input.string()).second) read.push_back(make_escaped(input.string()));
    }
    std::string text = targets + ":";
    for (const std::string& input : read)
        text += " \\\n  " + input;
    text += " \\\n  " + make_escaped(build.project().path.string()) + "\n";
    for (const std::string& input : read)
        text += input + ":\n";
    return text;
}

// A job's messages, each line of them named by the job.
std::string job_said(const std::string& name, const std::string& said)
{
    std::string out;
    std::istringstream lines(said);
    for (std::string line; std::getline(lines, line);)
        out += (line.starts_with("charlib-cli: ") ? "charlib-cli: " + name + ": " + line.substr(13) : line) + "\n";
    return out;
}

struct JobOutcome {
    std::optional<Prepared> prepared;
    std::string said;
    double seconds = 0;
};

JobOutcome build_job(const Job& job, const Kernel& kernel, Language language, const WebFolder* web_before,
    const std::atomic<bool>* cancelled)
{
    JobOutcome outcome;
    std::ostringstream said;
    const auto start = std::chrono::steady_clock::now();
    try {
        outcome.prepared = prepare_run(job.plan, kernel, Voice{said, false, cancelled}, web_before);
    } catch (const Cancelled&) {
        // The build says so once.
    } catch (const Failure& failure) {
        said << "charlib-cli: " << failure_words(failure, language) << "\n";
    } catch (const UsageError& error) {
        said << "charlib-cli: " << error.what() << "\n";
    } catch (const std::bad_alloc&) {
        said << "charlib-cli: " << tr(language, "Out of memory: the run stopped and nothing was written") << "\n";
    }
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.said = std::move(said).str();
    return outcome;
}

struct Request {
    std::optional<std::filesystem::path> file;
    std::vector<std::string> jobs;
    bool list = false, force = false, keep_going = false, watch = false;
    std::optional<std::filesystem::path> depfile;
};

std::string build_help(Language language)
{
    return build_help_text(language);
}

// The arguments after "build"; the help text instead when asked for.
std::variant<Request, std::string> request_of(std::vector<std::string> args, Language language)
{
    Request request;
    std::vector<std::string> words;
    CLI::App app("charlib-cli build");
    app.set_help_flag("-h,--help");
    const auto flag = [&](std::string_view name, bool& into) {
        app.add_flag(std::string(build_option_info(name).long_name), into);
    };
    flag("--list", request.list);
    flag("--force", request.force);
    flag("--keep-going", request.keep_going);
    flag("--watch", request.watch);
    std::optional<std::string> depfile;
    app.add_option(std::string(build_option_info("--depfile").long_name), depfile);
    app.add_option("words", words);
    std::reverse(args.begin(), args.end());
    try {
        app.parse(std::move(args));
    } catch (const CLI::CallForHelp&) {
        return build_help(language);
    } catch (const CLI::ParseError& error) {
        throw UsageError(tr(language, "The arguments are wrong: {reason}", {{"reason", error.what()}}));
    }
    if (depfile) {
        if (depfile->empty() || *depfile == "-") throw UsageError(tr(language, "--depfile needs a file to write"));
        request.depfile = *depfile;
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::error_code error;
        if (i == 0 && (words[i].ends_with(".toml") || std::filesystem::is_regular_file(words[i], error)))
            request.file = words[i];
        else
            request.jobs.push_back(words[i]);
    }
    return request;
}

// The jobs asked for, in the project's order.
std::vector<const Job*> chosen_jobs(const Project& project, const std::vector<std::string>& names, Language language)
{
    std::vector<const Job*> jobs;
    for (const std::string& name : names) {
        const auto found = std::find_if(
            project.jobs.begin(), project.jobs.end(), [&](const Job& job) { return job.name == name; });
        if (found == project.jobs.end()) {
            std::string known;
            for (const Job& job : project.jobs)
                known += (known.empty() ? "" : language == Language::Chinese ? "、" : ", ") + job.name;
            throw UsageError(tr(language, "“{path}” has no job “{name}”; its jobs: {jobs}",
                {{"path", project.path.string()}, {"name", name}, {"jobs", known}}));
        }
    }
    for (const Job& job : project.jobs)
        if (names.empty() || std::find(names.begin(), names.end(), job.name) != names.end()) jobs.push_back(&job);
    return jobs;
}

std::string seconds_text(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

std::string table_of(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (widths.size() <= i) widths.push_back(0);
            widths[i] = std::max(widths[i], columns_of(row[i]));
        }
    std::string out;
    for (const auto& row : rows) {
        std::string line = " ";
        for (std::size_t i = 0; i < row.size(); ++i) {
            const bool number = i > 0 && i < 4;
            const std::string gap(widths[i] - columns_of(row[i]), ' ');
            line += " " + (number ? gap + row[i] : row[i] + (i + 1 < row.size() ? gap : ""));
        }
        out += line + "\n";
    }
    return out;
}

class BuildRun {
public:
    BuildRun(Build& build, const Request& request, Language language, const Kernel& kernel,
        const BuildFollower& follower) :
        out_(follower.said),
        follower_(follower),
        build_(build),
        request_(request),
        language_(language),
        kernel_(kernel)
    {
    }

    // Builds the jobs that need it; returns the exit status.
    int run(const std::vector<const Job*>& jobs)
    {
        std::vector<const Job*> to_build;
        std::map<std::string, std::vector<std::filesystem::path>> inputs;
        for (const Job* job : jobs) {
            const std::optional<std::vector<std::filesystem::path>> now = build_.inputs_now(*job);
            if (now) inputs[job->name] = *now;
            if (request_.force || !now || !build_.unchanged(*job, *now))
                to_build.push_back(job);
        }
        std::vector<JobOutcome> outcomes(to_build.size());
        run_side_by_side(to_build, outcomes);
        if (cancelled()) {
            say(out_, tr(language_, "Cancelled: nothing was written"));
            return exit_failure;
        }
        std::vector<std::string> failed;
        for (std::size_t i = 0; i < to_build.size(); ++i)
            if (!outcomes[i].prepared) failed.push_back(to_build[i]->name);
        bool wrote = true;
        if (!failed.empty() && !request_.keep_going) {
            say(out_, tr(language_, "{jobs} failed: nothing was written (--keep-going writes the jobs that succeeded)",
                {{"jobs", joined(failed)}}));
            wrote = false;
        } else if (!commit(to_build, outcomes)) {
            wrote = false;
        }
        if (wrote) {
            for (std::size_t i = 0; i < to_build.size(); ++i) {
                if (!outcomes[i].prepared) continue;
                out_ << job_said(to_build[i]->name, outcomes[i].prepared->said_after);
                build_.remember(*to_build[i], *outcomes[i].prepared);
                inputs[to_build[i]->name] = outcomes[i].prepared->inputs;
            }
            build_.save_state(out_);
            if (!failed.empty())
                say(out_, tr(language_, "{jobs} failed; the other jobs' files were written", {{"jobs", joined(failed)}}));
        }
        out_ << summary(jobs, to_build, outcomes, wrote);
        if (request_.depfile && !write_depfile(jobs, inputs)) return exit_failure;
        const bool any_failed = !failed.empty() ||
            std::any_of(outcomes.begin(), outcomes.end(),
                [](const JobOutcome& outcome) { return outcome.prepared && outcome.prepared->failed; });
        return wrote && !any_failed ? 0 : exit_failure;
    }

private:
    std::string joined(const std::vector<std::string>& names) const
    {
        std::string text;
        for (const std::string& name : names)
            text += (text.empty() ? "" : language_ == Language::Chinese ? "、" : ", ") + ("“" + name + "”");
        return text;
    }

    // Every job on a core of its own, as many at once as there are cores; each says what it has to
    // say when it ends, so that their lines do not mix. Jobs that write into one web folder are
    // made one after another, each from what the one before leaves there.
    void run_side_by_side(const std::vector<const Job*>& jobs, std::vector<JobOutcome>& outcomes)
    {
        std::vector<std::vector<std::size_t>> chains;
        std::map<std::filesystem::path, std::size_t> chain_of_folder;
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            const std::filesystem::path folder = web_folder_of(*jobs[i]);
            if (folder.empty() || !chain_of_folder.contains(folder)) {
                if (!folder.empty()) chain_of_folder[folder] = chains.size();
                chains.push_back({i});
            } else {
                chains[chain_of_folder[folder]].push_back(i);
            }
        }
        const bool terminal = &out_ == &std::cerr && ::isatty(2);
        std::atomic<std::size_t> next{0};
        std::mutex saying;
        std::size_t done = 0;
        const auto progress = [&] {
            if (!terminal || done == jobs.size()) return;
            out_ << "\r\033[K"
                      << tr(language_, "Building {done} / {total} jobs…",
                             {{"done", std::to_string(done)}, {"total", std::to_string(jobs.size())}})
                      << std::flush;
        };
        progress();
        const auto work = [&] {
            for (std::size_t chain; (chain = next++) < chains.size();) {
                const WebFolder* web_before = nullptr;
                for (std::size_t i : chains[chain]) {
                    if (cancelled()) break;
                    outcomes[i] = build_job(*jobs[i], kernel_, language_, web_before, follower_.cancelled);
                    if (outcomes[i].prepared && outcomes[i].prepared->web_folder)
                        web_before = &*outcomes[i].prepared->web_folder;
                    const std::lock_guard<std::mutex> lock(saying);
                    ++done;
                    if (follower_.jobs_done) follower_.jobs_done(done, jobs.size());
                    if (terminal) out_ << "\r\033[K";
                    out_ << job_said(jobs[i]->name, outcomes[i].said);
                    if (terminal)
                        out_ << (outcomes[i].prepared ? "✓ " : "✗ ") << jobs[i]->name << "  "
                                  << seconds_text(outcomes[i].seconds) << "\n";
                    progress();
                }
            }
        };
        const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
        std::vector<std::thread> workers;
        for (std::size_t i = 1; i < std::min(cores, chains.size()); ++i)
            workers.emplace_back(work);
        work();
        for (std::thread& worker : workers)
            worker.join();
    }

    // Every file of every job that succeeded, put in place together.
    bool commit(const std::vector<const Job*>& jobs, const std::vector<JobOutcome>& outcomes)
    {
        try {
            // A web folder's stylesheet and manifest, written by each job into it: the last one's holds them all.
            Prepared all;
            std::map<std::filesystem::path, std::size_t> file_at;
            for (std::size_t i = 0; i < jobs.size(); ++i) {
                if (!outcomes[i].prepared) continue;
                for (const std::filesystem::path& folder : outcomes[i].prepared->folders)
                    if (std::find(all.folders.begin(), all.folders.end(), folder) == all.folders.end())
                        all.folders.push_back(folder);
                for (const auto& [path, bytes] : outcomes[i].prepared->files) {
                    const auto [at, added] = file_at.emplace(resolved(path), all.files.size());
                    if (added)
                        all.files.emplace_back(path, bytes);
                    else
                        all.files[at->second].second = bytes;
                }
            }
            FileBatch files;
            add_prepared(files, all);
            say_recovered(files.recover(), Voice{out_}, language_);
            files.commit();
            return true;
        } catch (const Failure& failure) {
            say(out_, failure_words(failure, language_));
            say(out_, tr(language_, "Nothing was written"));
            return false;
        } catch (const std::bad_alloc&) {
            say(out_, tr(language_, "Out of memory: the run stopped and nothing was written"));
            return false;
        }
    }

    std::string summary(const std::vector<const Job*>& jobs, const std::vector<const Job*>& built,
        const std::vector<JobOutcome>& outcomes, bool wrote) const
    {
        std::vector<std::vector<std::string>> rows{{tr(language_, "job"), tr(language_, "characters"),
            tr(language_, "missing"), tr(language_, "files"), tr(language_, "time")}};
        for (const Job* job : jobs) {
            const auto at = std::find(built.begin(), built.end(), job);
            if (at == built.end()) {
                const JobState* state = build_.state_of(job->name);
                rows.push_back({job->name, state ? std::to_string(state->characters) : "",
                    state ? std::to_string(state->missing) : "", "", tr(language_, "unchanged")});
                continue;
            }
            const JobOutcome& outcome = outcomes[static_cast<std::size_t>(at - built.begin())];
            if (!outcome.prepared) {
                rows.push_back({job->name, "", "", "", tr(language_, "failed")});
                continue;
            }
            const Prepared& prepared = *outcome.prepared;
            rows.push_back({job->name, std::to_string(prepared.characters), std::to_string(prepared.missing),
                wrote ? std::to_string(prepared.files.size()) : "0", seconds_text(outcome.seconds)});
        }
        return table_of(rows);
    }

    bool write_depfile(
        const std::vector<const Job*>& jobs, const std::map<std::string, std::vector<std::filesystem::path>>& inputs)
    {
        try {
            replace_file(*request_.depfile, depfile_text(build_, jobs, inputs));
            return true;
        } catch (const Failure& failure) {
            say(out_, failure_words(failure, language_));
            return false;
        }
    }

    bool cancelled() const { return follower_.cancelled && follower_.cancelled->load(); }

    std::ostream& out_;
    const BuildFollower& follower_;
    Build& build_;
    const Request& request_;
    Language language_;
    const Kernel& kernel_;
};

}  // namespace

int save_job(const Plan& plan, const std::vector<std::string>& args)
{
    const Language language = plan.language;
    const auto& [path, asked_name] = *plan.save_job;
    try {
        std::string text;
        std::vector<std::string> taken;
        std::error_code error;
        if (std::filesystem::exists(path, error)) {
            if (!std::filesystem::is_regular_file(path, error))
                throw UsageError(tr(language, "“{path}” is not a regular file: the job was not saved", {{"path", path.string()}}));
            text = read_project_text(path, language);
            for (const Job& job : project_from_text(text, path, language).jobs)
                taken.push_back(job.name);
        }
        const std::string table = job_table(args, asked_name, path, taken, language);
        if (!text.empty() && !text.ends_with('\n')) text += '\n';
        text += (text.empty() ? "" : "\n") + table;
        // The job is checked as a build would read it before the file changes.
        const Project project = project_from_text(text, path, language);
        check_jobs_apart(project, language);
        FileBatch files;
        if (path.has_parent_path()) files.add_folder(path.parent_path());
        files.add(path, text);
        files.commit();
        std::cerr << "charlib-cli: "
                  << tr(language, "The job “{name}” is saved in “{path}”; build it with: charlib-cli build {path} {name}",
                         {{"name", project.jobs.back().name}, {"path", path.string()}})
                  << "\n";
        return 0;
    } catch (const UsageError& error) {
        say(std::cerr, error.what());
        return exit_usage;
    } catch (const Failure& failure) {
        say(std::cerr, failure_words(failure, language));
        return exit_failure;
    }
}

namespace {

// One build of the project file, or the list of its jobs.
int build_once(const std::filesystem::path& file, const Request& request, Language language, const Kernel& kernel,
    const BuildFollower& follower)
{
    Build build(read_project(file, language), language);
    const std::vector<const Job*> jobs = chosen_jobs(build.project(), request.jobs, language);
    if (request.list) {
        for (const Job* job : jobs) {
            std::cout << job->name;
            for (const std::filesystem::path& output : named_outputs(job->plan))
                std::cout << '\t' << output.string();
            std::cout << '\n';
        }
        return 0;
    }
    check_jobs_apart(build.project(), language);
    BuildRun run(build, request, language, kernel, follower);
    return run.run(jobs);
}

// What --watch watches: the project file, and what its jobs read; their outputs do not count.
void watch_inputs(InputWatch& watch, const std::filesystem::path& file, const Request& request, Language language)
{
    std::vector<std::filesystem::path> files{file}, folders, ignored;
    if (request.depfile) ignored.push_back(*request.depfile);
    try {
        const Project project = read_project(file, language);
        for (const Job* job : chosen_jobs(project, request.jobs, language)) {
            const Plan& plan = job->plan;
            for (const std::filesystem::path& source : plan.sources.paths) {
                std::error_code error;
                (plan.sources.listing.recursive && std::filesystem::is_directory(source, error) ? folders : files)
                    .push_back(source);
            }
            files.insert(files.end(), plan.choosing.excludes.begin(), plan.choosing.excludes.end());
            for (const Addition& addition : plan.choosing.additions)
                if (const auto* added = std::get_if<std::filesystem::path>(&addition)) files.push_back(*added);
            if (plan.font) files.push_back(plan.font->path);
            for (const std::filesystem::path& output : named_outputs(plan))
                ignored.push_back(output);
            if (plan.font && plan.font->web) ignored.push_back(*plan.font->web);
        }
    } catch (const UsageError&) {
        // Said by the build; the project file is watched until it is mended.
    }
    watch.watch(files, folders, ignored);
}

// --watch: builds, then builds again whenever an input changes, until Ctrl+C. A
// change while a build runs is seen by the next wait; an output written among the
// sources builds nothing, as its inputs' digests have not changed.
int build_watching(const std::filesystem::path& file, const Request& request, Language language, const Kernel& kernel)
{
    InputWatch watch;
    for (int status = 0;;) {
        watch_inputs(watch, file, request, language);
        try {
            status = build_once(file, request, language, kernel, BuildFollower{std::cerr});
        } catch (const UsageError& error) {
            say(std::cerr, error.what());
            status = exit_usage;
        }
        say(std::cerr, tr(language, "Watching the inputs for changes (Ctrl+C ends it)…"));
        std::optional<std::vector<std::filesystem::path>> changed;
        int stopped_by = 0;
        {
            const StopOnInterrupt stop;
            changed = watch.wait(stop.fd());
            stopped_by = stop.stopped();
        }
        if (!changed) {
            if (stopped_by != 0) ::raise(stopped_by);  // the status a shell expects of Ctrl+C
            return status;
        }
        std::string names;
        for (std::size_t i = 0; i < changed->size() && i < 5; ++i)
            names += (i ? " " : "") + (*changed)[i].string();
        say(std::cerr, tr(language, "Changed: {files}", {{"files", names + (changed->size() > 5 ? " …" : "")}}));
    }
}

}  // namespace

int build(const std::vector<std::string>& args, Language language, const Kernel& kernel)
{
    return build(args, language, kernel, BuildFollower{std::cerr});
}

int build(const std::vector<std::string>& args, Language language, const Kernel& kernel, const BuildFollower& follower)
{
    try {
        const std::variant<Request, std::string> asked = request_of(args, language);
        if (const std::string* help = std::get_if<std::string>(&asked)) {
            std::cout << *help;
            return 0;
        }
        const Request& request = std::get<Request>(asked);
        std::optional<std::filesystem::path> file = request.file;
        if (!file) file = find_project_file();
        if (!file)
            throw UsageError(tr(language,
                "No charlib.toml here or in the folders above: give the project file, charlib-cli build FILE"));
        if (request.watch && !request.list) return build_watching(*file, request, language, kernel);
        return build_once(*file, request, language, kernel, follower);
    } catch (const UsageError& error) {
        say(follower.said, error.what());
        return exit_usage;
    } catch (const Failure& failure) {
        say(follower.said, failure_words(failure, language));
        return exit_failure;
    }
}

}  // namespace charlib::cli
