#pragma once

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "temp_dir.h"

// Whether `text` holds `part`: EXPECT_TRUE(has(run.err, "…")) shows the text when it fails.
inline testing::AssertionResult has(const std::string& text, const std::string& part)
{
    const bool found = text.find(part) != std::string::npos;
    return (found ? testing::AssertionSuccess() : testing::AssertionFailure())
        << "“" << part << (found ? "” in:\n" : "” not in:\n") << text;
}

// Fonts every test machine has: a collection with hanzi (fonts-wqy-microhei),
// and a Latin font in CFF outlines that lacks them (fonts-inconsolata).
inline const std::string microhei = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
inline const std::string inconsolata = "/usr/share/fonts/truetype/inconsolata/Inconsolata.otf";

struct CliRun {
    int status;
    std::string out, err;
    double peak_mib;  // the most memory it held
};

// Runs charlib-cli in `dir` with the arguments, capturing both outputs;
// standard input is `input` when given, else empty; `isa` sets CHARLIB_ISA;
// `memory_kib` limits its address space (ulimit -v).
inline CliRun run_cli(const TempDir& dir, const std::vector<std::string>& args, const std::string& input = {},
    const std::string& isa = {}, std::uint64_t memory_kib = 0)
{
    const auto quoted = [](const std::string& text) {
        std::string result = "'";
        for (char c : text)
            result += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return result + "'";
    };
    dir.write(".in", input);
    std::string command = "cd " + quoted(dir.path().string()) + " && " +
        (memory_kib == 0 ? "" : "ulimit -v " + std::to_string(memory_kib) + " && ") +
        (isa.empty() ? "" : "CHARLIB_ISA=" + quoted(isa) + " ") + quoted(CHARLIB_CLI);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    command += " >.out 2>.err <.in";
    // Spawned and waited for by its id, so that its memory is told apart from other runs'.
    char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), command.data(), nullptr};
    pid_t shell = 0;
    int status = -1;
    struct rusage usage { };
    if (::posix_spawn(&shell, "/bin/sh", nullptr, nullptr, argv, environ) == 0)
        ::wait4(shell, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, TempDir::read(dir.path() / ".out"),
        TempDir::read(dir.path() / ".err"), usage.ru_maxrss / 1024.0};
}

// Whether standard error holds a line of Debian's libwoff2 ("Compressed 41232 to 20160."),
// which charlib-cli keeps off it.
inline bool has_woff2_noise(const std::string& err)
{
    return std::regex_search(err, std::regex("Compressed [0-9]+ to [0-9]+"));
}

// Whether the run ended well and printed `out`.
inline testing::AssertionResult printed(const CliRun& run, const std::string& out)
{
    return (run.status == 0 && run.out == out ? testing::AssertionSuccess() : testing::AssertionFailure())
        << "status " << run.status << ", printed " << testing::PrintToString(run.out) << ", not "
        << testing::PrintToString(out) << "\n"
        << run.err;
}

// `args`, then `more`.
inline std::vector<std::string> joined(std::vector<std::string> args, const std::vector<std::string>& more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Whether the run ended with `status` and said `part` on standard error.
inline testing::AssertionResult ended(const CliRun& run, int status, const std::string& part)
{
    return (run.status == status ? has(run.err, part) : testing::AssertionFailure() << run.err)
        << "\nstatus " << run.status << ", not " << status;
}
