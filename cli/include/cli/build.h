#pragma once

#include <string>
#include <vector>

#include "cli/plan.h"
#include "messages/language.h"
#include "simd/kernel.h"

namespace charlib::cli {

// charlib-cli build [FILE] [JOB]...: `args` are the words after "build".
// Returns the exit status, with what happened said on standard error.
int build(const std::vector<std::string>& args, Language language, const Kernel& kernel);

// --save-job: adds the command line `args` (the program's arguments, as
// planned in `plan`) to the plan's project file as a job. Returns the exit status.
int save_job(const Plan& plan, const std::vector<std::string>& args);

}  // namespace charlib::cli
