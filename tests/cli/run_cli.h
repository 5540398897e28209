#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "temp_dir.h"

struct CliRun {
    int status;
    std::string out, err;
};

// Runs charlib-cli in `dir` with the arguments, capturing both outputs;
// standard input is `input` when given, else empty.
inline CliRun run_cli(const TempDir& dir, const std::vector<std::string>& args, const std::string& input = {})
{
    const auto quoted = [](const std::string& text) {
        std::string result = "'";
        for (char c : text)
            result += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return result + "'";
    };
    dir.write(".in", input);
    std::string command = "cd " + quoted(dir.path().string()) + " && " + quoted(CHARLIB_CLI);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    const int status = std::system((command + " >.out 2>.err <.in").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, TempDir::read(dir.path() / ".out"),
        TempDir::read(dir.path() / ".err")};
}
