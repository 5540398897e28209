#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/plan.h"
#include "files/output_file.h"
#include "font/web.h"
#include "simd/kernel.h"

// A run in two steps, so that a build's jobs are made side by side and put
// in place together: first everything is read and made in memory, then the
// files are written all at once.
namespace charlib::cli {

struct Inspection;

// Where a run says what it has to say: standard error, or a job's own text,
// shown when the job ends, so that jobs made side by side do not mix their lines.
struct Voice {
    std::ostream& out;
    bool progress = true;  // progress lines, on a terminal
    const std::atomic<bool>* cancelled = nullptr;  // once set, the run stops at its next step: throws Cancelled
};

// A run stopped because its caller asked (Voice::cancelled); nothing was written.
class Cancelled : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};

// What a run writes and says once its files are in place.
struct Prepared {
    std::vector<std::filesystem::path> folders;  // made at the commit when missing, before the files
    std::vector<std::pair<std::filesystem::path, std::string>> files;
    std::vector<std::filesystem::path> kept;  // outputs left as they are: web pieces, atlas pages that gained nothing
    std::optional<std::string> standard_output;  // -o -
    std::string printed;  // the set, printed after the commit
    std::string said_after;  // the lines to paste and the report, for standard error after the commit
    bool failed = false;  // a source could not be used (-k): the status is 1 after the commit
    std::vector<std::filesystem::path> inputs;  // every file read: the sources found, the font, the lists
    std::size_t characters = 0;
    std::size_t missing = 0;  // from the font
    std::optional<WebFolder> web_folder;  // the web folder as it will be: for the next job that writes into it
};

// Reads, chooses and makes every output in memory; nothing when the run
// stops, with why said to `voice`. The web font starts from `web_before`
// when given (what a job before this one leaves in the folder), else from the
// folder itself. Throws UsageError before reading when an output is an
// input, Failure when a font cannot be used. What it finds goes to `inspection` too, when given.
std::optional<Prepared> prepare_run(const Plan& plan, const Kernel& kernel, const Voice& voice,
    const WebFolder* web_before = nullptr, Inspection* inspection = nullptr);

// Adds the folders and files of `prepared` to `files`. Throws Failure.
void add_prepared(FileBatch& files, const Prepared& prepared);

// The files the plan writes by name (the atlas's pages are named from its descriptor), in order.
std::vector<std::filesystem::path> named_outputs(const Plan& plan);

// What a run killed while it wrote these files had left, and what became of it.
void say_recovered(const Recovery& recovery, const Voice& voice, Language language);

// Writes `text` to standard output; false, with why, when it cannot.
bool print(const std::string& text, const Voice& voice, Language language);

}  // namespace charlib::cli
