// The files library and its error route: system reasons, sources the kernel
// gives no size, temporary files and signals, a commit cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <set>
#include <thread>
#include <tuple>

#include "base/error.h"
#include "files/input_file.h"
#include "files/output_file.h"
#include "files/temporary_files.h"
#include "temp_dir.h"

namespace {

TEST(SystemReason, CommonErrorsAreWordedInChineseTheRestBySystem)
{
    const int common[] = {ENOENT, EACCES, EPERM, EEXIST, ENOTDIR, EISDIR, ENOTEMPTY, ELOOP, ENOSPC, EDQUOT,
        EROFS, EXDEV, EMFILE, ENFILE, ENAMETOOLONG, EIO, EFBIG, ENOMEM, EPIPE, ENXIO, EAGAIN, EBUSY, ENODEV};
    for (const int error : common) {
        const std::string reason = charlib::system_reason(error);
        EXPECT_FALSE(reason.empty()) << error;
        const bool english = std::any_of(
            reason.begin(), reason.end(), [](unsigned char c) { return c < 0x80 && std::isalpha(c); });
        EXPECT_FALSE(english) << error << ": " << reason;
    }
    EXPECT_EQ(charlib::system_reason(EDOM), std::strerror(EDOM));
}

TEST(StreamCopy, StopsOneBytePastALimitAndNoSooner)
{
    TempDir dir;
    const std::filesystem::path fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::tuple<std::string, std::optional<std::uint64_t>, bool> cases[] = {
        {"abcd", std::nullopt, false}, {"abcd", 4, false}, {"abcd", 3, true}, {"abcd", 0, true},
        {"", 0, false}};
    for (const auto& [bytes, limit, too_long] : cases) {
        std::thread writer([&, bytes = bytes] {
            const int fd = ::open(fifo.c_str(), O_WRONLY);
            EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
            ::close(fd);
        });
        const charlib::StreamCopy copy(fifo, limit);
        writer.join();
        EXPECT_EQ(copy.too_long(), too_long) << bytes << " " << limit.value_or(99);
        EXPECT_EQ(TempDir::read(copy.path()), too_long ? bytes.substr(0, *limit + 1) : bytes);
    }
}

// A file of a killed batch, as it left it: `bytes`, or a hard link to `link`.
struct LeftBehind {
    std::string name, bytes, link = {};
};

std::string hidden_name(const std::string& target, const char* kind, const std::string& run)
{
    return "." + target + ".charlib-" + kind + "-" + run;
}

TEST(FileBatch, PutsRightWhatABatchKilledInItsCommitLeftBesideItsTargets)
{
    namespace fs = std::filesystem;
    const std::string dead = "4194305-0badc0de";  // above any process id Linux gives
    const std::string live = std::to_string(::getpid()) + "-0badc0de";
    const auto a_new = hidden_name("a.txt", "new", dead), a_old = hidden_name("a.txt", "old", dead);
    const auto b_new = hidden_name("b.txt", "new", dead), b_old = hidden_name("b.txt", "old", dead);
    const auto c_old = hidden_name("c.txt", "old", dead), a_live = hidden_name("a.txt", "new", live);
    struct Case {
        const char* what;
        std::vector<LeftBehind> files;
        std::vector<std::string> restored, removed;
        std::string a, b;  // after the recovery; "-": none
        std::set<std::string> kept;  // of the hidden files
    };
    const Case cases[] = {
        {"killed while renaming: a's new file in place, b's not",
            {{"a.txt", "new a"}, {a_old, "old a"}, {"b.txt", "old b"}, {b_old, "", "b.txt"},
                {b_new, "new b"}},
            {"a.txt"}, {b_new, b_old}, "old a", "old b", {}},
        {"killed after the renames",
            {{"a.txt", "new a"}, {a_old, "old a"}, {"b.txt", "new b"}, {b_old, "old b"}}, {}, {a_old, b_old},
            "new a", "new b", {}},
        {"killed while writing its temporaries", {{"a.txt", "old a"}, {a_new, "ne"}}, {}, {a_new}, "old a",
            "-", {}},
        {"killed with a's old file moved aside (no hard links)", {{a_old, "old a"}, {a_new, "new a"}},
            {"a.txt"}, {a_new}, "old a", "-", {}},
        {"a batch still at work, and names not of a batch beside these targets",
            {{"a.txt", "old a"}, {a_live, "x"}, {".a.txt.swp", "x"}, {c_old, "x"},
                {".a.txt.charlib-old-12-xyz", "x"}},
            {}, {}, "old a", "-", {a_live, ".a.txt.swp", c_old, ".a.txt.charlib-old-12-xyz"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const LeftBehind& file : c.files) {
            if (file.link.empty())
                dir.write(file.name, file.bytes);
            else
                fs::create_hard_link(dir.path() / file.link, dir.path() / file.name);
        }
        const auto content = [&](const char* name) {
            return fs::exists(dir.path() / name) ? TempDir::read(dir.path() / name) : "-";
        };
        charlib::FileBatch batch;
        batch.add(dir.path() / "a.txt", "A");
        batch.add(dir.path() / "b.txt", "B");
        const charlib::Recovery recovery = batch.recover();
        std::vector<std::string> restored, removed;
        for (const fs::path& path : recovery.restored)
            restored.push_back(path.filename());
        for (const fs::path& path : recovery.removed)
            removed.push_back(path.filename());
        EXPECT_EQ(restored, c.restored) << c.what;
        EXPECT_EQ(removed, c.removed) << c.what;
        EXPECT_EQ(content("a.txt") + " " + content("b.txt"), c.a + " " + c.b) << c.what;
        batch.commit();
        EXPECT_EQ(content("a.txt") + content("b.txt"), "AB") << c.what;
        std::set<std::string> kept;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().filename().string()[0] == '.') kept.insert(entry.path().filename());
        EXPECT_EQ(kept, c.kept) << c.what;
    }
}

TEST(FileBatch, AFolderItMakesComesWithItsFilesAtCommitOrNotAtAll)
{
    namespace fs = std::filesystem;
    TempDir dir;
    const auto in = [&](const std::string& name) { return dir.path() / name; };
    const auto hidden = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().filename().string()[0] == '.') names.push_back(entry.path().filename());
        return names;
    };
    dir.write("file", "x");
    fs::create_symlink("nowhere", in("dangling"));
    fs::create_directory(in("locked"));
    fs::permissions(in("locked"), fs::perms(0555));  // refused even for root
    for (const auto& [folder, error] :
        {std::pair{"file", ENOTDIR}, {"dangling", ENOENT}, {"none/w", ENOENT}, {"locked/w", EACCES}}) {
        charlib::FileBatch batch;
        try {
            batch.add_folder(in(folder));
            ADD_FAILURE() << folder;
        } catch (const charlib::FileError& refused) {
            EXPECT_EQ(refused.system_error(), error) << folder;
        }
    }

    fs::create_symlink("/dev/full", in("full"));  // takes no byte: ENOSPC after the renames
    dir.write(".w.charlib-new-4194305-0badc0de/x", "left");  // the folder of a killed batch
    {
        charlib::FileBatch batch;
        batch.add_folder(in("w"));
        batch.add(in("w") / "x", "x");
        batch.add(in("full"), "x");
        EXPECT_FALSE(fs::exists(in("w")));
        const charlib::Recovery recovery = batch.recover();
        ASSERT_EQ(recovery.removed.size(), 1u);
        EXPECT_EQ(recovery.removed[0].filename(), ".w.charlib-new-4194305-0badc0de");
        EXPECT_THROW(batch.commit(), charlib::FileError);
    }
    EXPECT_FALSE(fs::exists(in("w")));
    EXPECT_EQ(hidden(), std::vector<std::string>{});

    charlib::FileBatch batch;
    batch.add_folder(in("w/"));
    batch.add(in("w") / "x", "x");
    batch.add_folder(in("locked"));  // there already: its files go in it as anywhere
    batch.commit();
    EXPECT_EQ(TempDir::read(in("w/x")), "x");
    EXPECT_EQ(hidden(), std::vector<std::string>{});
}

TEST(TemporaryFiles, AnEndingSignalRemovesABatchsFilesAndNewFoldersThenEndsTheProcess)
{
    namespace fs = std::filesystem;
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
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << ": " << status;
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            names.push_back(entry.path().filename());
        EXPECT_EQ(names, std::vector<std::string>{"a.txt"}) << signal;
        EXPECT_EQ(TempDir::read(dir.path() / "a.txt"), "old");
    }
}

}  // namespace
