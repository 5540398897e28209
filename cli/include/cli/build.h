#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/plan.h"
#include "messages/language.h"
#include "simd/kernel.h"

namespace charlib::cli {

// charlib-cli build [FILE] [JOB]...: `args` are the words after "build".
// Returns the exit status, with what happened said on standard error.
int build(const std::vector<std::string>& args, Language language, const Kernel& kernel);

// How a window follows a build: where its words go, how far it is, and a way to stop it.
struct BuildFollower {
    std::ostream& said;
    std::function<void(std::size_t done, std::size_t total)> jobs_done = {};  // from the jobs' threads
    const std::atomic<bool>* cancelled = nullptr;  // once set, no job starts and nothing is written
};
// The same, saying what happens to `follower`; --watch is the command line's alone.
int build(const std::vector<std::string>& args, Language language, const Kernel& kernel,
    const BuildFollower& follower);

// --save-job: adds the command line `args` (the program's arguments, as
// planned in `plan`) to the plan's project file as a job. Returns the exit status.
int save_job(const Plan& plan, const std::vector<std::string>& args);

}  // namespace charlib::cli
