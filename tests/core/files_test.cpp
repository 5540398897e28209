// The files library and its error route: system reasons, a stream held to a
// limit, a commit cut short by a kill, and temporary files at a signal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>

#include "base/outcome.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "files/temporary_files.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(StreamCopy, StopsOneBytePastALimitAndNoSooner)
{
    TempDir dir;
    const fs::path fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [limit, too_long] : {std::pair<std::optional<std::uint64_t>, bool>{std::nullopt, false},
             {4, false}, {3, true}, {0, true}}) {
        std::thread writer([&] {
            const int fd = ::open(fifo.c_str(), O_WRONLY);
            EXPECT_EQ(::write(fd, "abcd", 4), 4);
            ::close(fd);
        });
        const charlib::StreamCopy copy(fifo, limit);
        writer.join();
        EXPECT_EQ(copy.too_long(), too_long) << limit.value_or(99);
        EXPECT_EQ(TempDir::read(copy.path()), too_long ? std::string("abcd", *limit + 1) : "abcd");
    }
}

TEST(FileBatch, PutsRightWhatABatchKilledInItsCommitLeftBesideItsTargets)
{
    // Files as a killed batch left them: name, bytes ("=b.txt": a hard link to b.txt).
    using Files = std::vector<std::pair<std::string, std::string>>;
    const std::string dead = "-4194305-0badc0de", live = "-" + std::to_string(::getpid()) + "-0badc0de";
    const std::string a_new = ".a.txt.charlib-new" + dead, a_old = ".a.txt.charlib-old" + dead;
    const std::string b_new = ".b.txt.charlib-new" + dead, b_old = ".b.txt.charlib-old" + dead;
    const std::string not_ours[] = {
        ".a.txt.charlib-new" + live, ".a.txt.swp", ".c.txt.charlib-old" + dead, ".a.txt.charlib-old-12-xyz"};
    const std::tuple<Files, std::vector<std::string>, std::vector<std::string>, std::string> cases[] = {
        // Killed while renaming: a's new file in place, b's not: undone.
        {{{"a.txt", "new a"}, {a_old, "old a"}, {"b.txt", "old b"}, {b_old, "=b.txt"}, {b_new, "new b"}},
            {"a.txt"}, {b_new, b_old}, "old a|old b"},
        // Killed after the renames: done.
        {{{"a.txt", "new a"}, {a_old, "old a"}, {"b.txt", "new b"}, {b_old, "old b"}}, {}, {a_old, b_old},
            "new a|new b"},
        {{{"a.txt", "old a"}, {a_new, "ne"}}, {}, {a_new}, "old a|"},  // killed while writing
        {{{a_old, "old a"}, {a_new, "new a"}}, {"a.txt"}, {a_new}, "old a|"},  // a moved aside: no hard links
        {{{"a.txt", "old a"}, {not_ours[0], ""}, {not_ours[1], ""}, {not_ours[2], ""}, {not_ours[3], ""}}, {},
            {}, "old a|"},
    };
    for (const auto& [files, restored, removed, after] : cases) {
        TempDir dir;
        for (const auto& [name, bytes] : files) {
            if (bytes.starts_with('='))
                fs::create_hard_link(dir.path() / bytes.substr(1), dir.path() / name);
            else
                dir.write(name, bytes);
        }
        charlib::FileBatch batch;
        batch.add(dir.path() / "a.txt", "A");
        batch.add(dir.path() / "b.txt", "B");
        const charlib::Recovery recovery = batch.recover();
        std::vector<std::string> named[2];
        for (int i = 0; i < 2; ++i)
            for (const fs::path& path : i == 0 ? recovery.restored : recovery.removed)
                named[i].push_back(path.filename());
        EXPECT_EQ(named[0], restored) << files[0].first;
        EXPECT_EQ(named[1], removed) << files[0].first;
        EXPECT_EQ(TempDir::read(dir.path() / "a.txt") + "|" + TempDir::read(dir.path() / "b.txt"), after);
        batch.commit();
        EXPECT_EQ(TempDir::read(dir.path() / "a.txt") + TempDir::read(dir.path() / "b.txt"), "AB");
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename();
            EXPECT_TRUE(name[0] != '.' || std::ranges::count(not_ours, name) == 1) << name;
        }
    }
}

TEST(TemporaryFiles, AnEndingSignalRemovesABatchsFilesAndNewFolderThenEndsTheProcess)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        TempDir dir;
        dir.write("a.txt", "old");
        const pid_t child = ::fork();
        if (child == 0) {
            for (const int ending : {SIGTERM, SIGINT, SIGHUP})
                ::signal(ending, SIG_DFL);  // whatever the test runner left them at
            charlib::remove_temporaries_on_ending_signals();
            charlib::FileBatch batch;
            batch.add(dir.path() / "a.txt", "new");
            batch.add_folder(dir.path() / "w");
            batch.add(dir.path() / "w/x.txt", "x");
            ::kill(::getpid(), signal);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : 0, signal);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << signal;
        EXPECT_EQ(TempDir::read(dir.path() / "a.txt"), "old");
    }
}

}  // namespace
