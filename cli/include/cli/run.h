#pragma once

#include "cli/plan.h"
#include "simd/kernel.h"

namespace charlib::cli {

inline constexpr int exit_failure = 1;

// Reads the sources with the kernel, chooses their characters and writes what the plan asks
// for; returns the exit status, with what went wrong said on standard error.
// Throws UsageError, before reading anything, when an output is one of the
// inputs or two outputs are one file.
int run(const Plan& plan, const Kernel& kernel);

}  // namespace charlib::cli
