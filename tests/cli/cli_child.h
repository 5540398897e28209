#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "temp_dir.h"

// charlib-cli running in `dir` while the test acts on it: its standard input
// a pipe the test holds open, its outputs in dir/.out and dir/.err, TMPDIR
// set to `temporary`, and SIGTERM, SIGINT and SIGHUP at their defaults
// whatever the test runner left them at, but `ignored` ignored, as nohup
// does. Killed and reaped if still running at the end.
class CliChild {
public:
    CliChild(const TempDir& dir, const std::vector<std::string>& args, const std::filesystem::path& temporary,
        int ignored = 0)
    {
        // Made before fork: the child may only make async-signal-safe calls.
        std::vector<std::string> words{CHARLIB_CLI};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        std::vector<std::string> variables{"TMPDIR=" + temporary.string()};
        for (char** variable = environ; *variable != nullptr; ++variable)
            if (!std::string_view(*variable).starts_with("TMPDIR=")) variables.emplace_back(*variable);
        std::vector<char*> envp;
        for (std::string& variable : variables)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        const std::string folder = dir.path().string(), out = folder + "/.out", err = folder + "/.err";

        int input[2];
        if (::pipe2(input, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            struct sigaction defaults { };
            defaults.sa_handler = SIG_DFL;
            sigset_t none;
            ::sigemptyset(&none);
            for (const int signal : {SIGTERM, SIGINT, SIGHUP})
                ::sigaction(signal, &defaults, nullptr);
            if (ignored != 0) ::signal(ignored, SIG_IGN);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (::chdir(folder.c_str()) != 0 || out_fd < 0 || err_fd < 0 || ::dup2(input[0], 0) < 0 ||
                ::dup2(out_fd, 1) < 0 || ::dup2(err_fd, 2) < 0)
                ::_exit(127);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(input[0]);
        input_ = input[1];
    }
    ~CliChild()
    {
        close_input();
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }
    CliChild(const CliChild&) = delete;
    CliChild& operator=(const CliChild&) = delete;

    pid_t pid() const { return pid_; }
    bool write(std::string_view bytes)
    {
        return ::write(input_, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }
    void close_input()
    {
        if (input_ >= 0) ::close(input_);
        input_ = -1;
    }
    // The status waitpid gives.
    int wait()
    {
        int status = -1;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) { }
        reaped_ = true;
        return status;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    bool reaped_ = false;
};

// Waits up to ten seconds for `ready`; false if it never was.
inline bool eventually(const std::function<bool()>& ready)
{
    for (int i = 0; i < 1000; ++i) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}
