// charlib-cli ended by a signal, or killed, at a point where it waits: what
// it leaves, and what the next run does with it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "run_cli.h"

namespace {

namespace fs = std::filesystem;

// charlib-cli running in `dir`, TMPDIR dir/tmp, while the test holds its
// standard input open; the ending signals at their defaults but `ignored`.
class CliChild {
public:
    CliChild(const TempDir& dir, const std::vector<std::string>& args, int ignored = 0)
    {
        fs::create_directory(dir.path() / "tmp");
        std::string command = "cd '" + dir.path().string() + "' && TMPDIR=tmp exec " CHARLIB_CLI;
        for (const std::string& arg : args)
            command += " '" + arg + "'";
        command += " >.out 2>.err";
        int input[2];
        if (::pipe(input) != 0 || (pid_ = ::fork()) < 0) return;
        if (pid_ == 0) {  // sh execs charlib-cli: one process
            sigset_t none;
            ::sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            for (const int signal : {SIGTERM, SIGINT, SIGHUP})
                ::signal(signal, signal == ignored ? SIG_IGN : SIG_DFL);
            ::dup2(input[0], 0);
            ::close(input[1]);
            ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            ::_exit(127);
        }
        ::close(input[0]);
        input_ = input[1];
    }
    ~CliChild()
    {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
        wait();
    }

    pid_t pid() const { return pid_; }
    void write(std::string_view bytes)
    {
        ASSERT_EQ(::write(input_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Closes standard input and returns the status waitpid gives.
    int wait()
    {
        if (input_ >= 0) ::close(std::exchange(input_, -1));
        int status = -1;
        if (pid_ > 0) ::waitpid(std::exchange(pid_, -1), &status, 0);
        return status;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
};

// Waits up to ten seconds for `ready`.
bool eventually(const std::function<bool()>& ready)
{
    for (int i = 0; i < 1000 && !ready(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return ready();
}

// The names in `folder` that begin with `start`, sorted.
std::vector<std::string> named_like(const fs::path& folder, const std::string& start)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(start)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Signals, AnEndingSignalRemovesTheStreamCopyAndStillEndsTheRunUnlessIgnoredFromTheStart)
{
    for (const auto& [signal, ignored] :
        {std::pair{SIGTERM, false}, {SIGINT, false}, {SIGHUP, false}, {SIGHUP, true}}) {
        TempDir dir;
        CliChild child(dir, {"-t", "lines", "-"}, ignored ? signal : 0);
        child.write("ab\r\n");
        ASSERT_TRUE(eventually([&] {  // copied, and more awaited
            const std::vector<std::string> copies = named_like(dir.path() / "tmp", "charlib-stream-");
            return copies.size() == 1 && fs::file_size(dir.path() / "tmp" / copies[0]) == 4;
        }));
        ::kill(child.pid(), signal);
        if (ignored) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int status = child.wait();
        EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : 0, ignored ? 0 : signal) << signal;
        EXPECT_EQ(TempDir::read(dir.path() / ".out"), ignored ? "ab\n" : "") << signal;
        EXPECT_TRUE(fs::is_empty(dir.path() / "tmp")) << signal;
    }
}

TEST(Signals, OldFilesLeftByAKillAfterTheRenamesAreRemovedByTheNextRunOrBySignal)
{
    for (const int signal : {SIGKILL, SIGTERM}) {
        TempDir dir;
        dir.write("a.txt", "ab");
        dir.write("sub.otf", "old");
        ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0644), 0);
        // No one reads the pipe: the run waits to open it, its files renamed, their old ones kept aside.
        CliChild child(dir, {"-o", "fifo", "--font", inconsolata, "--subset", "sub.otf", "a.txt"});
        ASSERT_TRUE(eventually([&] {
            return TempDir::read(dir.path() / "sub.otf") != "old" &&
                !named_like(dir.path(), ".sub.otf").empty();
        }));
        const std::vector<std::string> kept = named_like(dir.path(), ".sub.otf.charlib-old-");
        EXPECT_EQ(kept.size(), 1u);
        ::kill(child.pid(), signal);
        EXPECT_EQ(WTERMSIG(child.wait()), signal);
        EXPECT_EQ(named_like(dir.path(), ".sub.otf"), signal == SIGKILL ? kept : std::vector<std::string>{});

        const std::string subset = TempDir::read(dir.path() / "sub.otf");
        const CliRun next =
            run_cli(dir, {"-o", "out.txt", "--font", inconsolata, "--subset", "sub.otf", "a.txt"});
        EXPECT_EQ(next.err,
            signal == SIGKILL
                ? "charlib-cli: 注意：上次运行在写入时被中断，已删除它留下的临时文件“" + kept.at(0) + "”\n"
                : "");
        EXPECT_EQ(named_like(dir.path(), ".sub.otf"), std::vector<std::string>{});
        EXPECT_EQ(TempDir::read(dir.path() / "sub.otf"), subset);
    }
}

TEST(Signals, ARunKilledBeforeItsRenamesIsUndoneByTheNext)
{
    TempDir dir;
    dir.write("s.txt", "ab\r\n");
    // The old END.txt moved aside (no hard links), the new one not yet renamed in place; no such process.
    dir.write(".END.txt.charlib-old-4194305-0badc0de", "old\r\n");
    dir.write(".END.txt.charlib-new-4194305-0badc0de", "new\r\n");
    const CliRun run = run_cli(dir, {"-o", "END.txt", "s.txt"});
    EXPECT_EQ(run.err,
        "charlib-cli: 注意：上次运行在写入时被中断，已恢复“END.txt”原来的内容，并删除了它留下的 1 "
        "个临时文件\n");
    EXPECT_EQ(TempDir::read(dir.path() / "END.txt"), "ab\r\n");
    EXPECT_EQ(named_like(dir.path(), ".END"), std::vector<std::string>{});
}

}  // namespace
