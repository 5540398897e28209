// What `build --watch` sees change between builds, and Ctrl+C ending the wait.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "base/outcome.h"
#include "cli/watch.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using charlib::cli::InputWatch;
using charlib::cli::StopOnInterrupt;
using std::chrono::milliseconds;

// A descriptor that becomes readable after `after`: the bound of a wait that must come back empty.
class Deadline {
public:
    explicit Deadline(milliseconds after) : fd_(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC))
    {
        itimerspec when{};
        when.it_value.tv_sec = after.count() / 1000;
        when.it_value.tv_nsec = after.count() % 1000 * 1000000;
        ::timerfd_settime(fd_, 0, &when, nullptr);
    }
    ~Deadline() { ::close(fd_); }
    int fd() const { return fd_; }

private:
    int fd_;
};

// The changes returned, as paths below `dir`.
std::vector<std::string> below(const TempDir& dir, const std::vector<fs::path>& changed)
{
    std::vector<std::string> names;
    for (const fs::path& path : changed)
        names.push_back(path.lexically_relative(dir.path()).string());
    return names;
}

std::vector<fs::path> in(const TempDir& dir, const std::vector<std::string>& names)
{
    std::vector<fs::path> paths;
    for (const std::string& name : names)
        paths.push_back(dir.path() / name);
    return paths;
}

constexpr milliseconds quiet(50);

TEST(InputWatch, ReportsEachChangeToWhatIsWatchedOnce)
{
    const struct {
        const char* name;
        std::vector<std::string> existing, files, folders, ignored;  // existing: "link -> target" too
        std::function<void(const TempDir&)> change;
        std::vector<std::string> changed;
        std::function<void(const TempDir&)> then;  // after the return: must not be reported
    } cases[] = {
        {"a file written", {"src/a.txt"}, {"src/a.txt"}, {}, {},
            [](const TempDir& dir) { dir.write("src/a.txt", "new"); }, {"src/a.txt"}, nullptr},
        {"an editor's save: a new file renamed over the old", {"src/a.txt"}, {"src/a.txt"}, {}, {},
            [](const TempDir& dir) {
                fs::rename(dir.write("src/.a.txt.swp", "new"), dir.path() / "src/a.txt");
            },
            {"src/a.txt"}, nullptr},
        {"a file deleted and made again", {"src/a.txt"}, {"src/a.txt"}, {}, {},
            [](const TempDir& dir) {
                fs::remove(dir.path() / "src/a.txt");
                dir.write("src/a.txt", "new");
            },
            {"src/a.txt"}, nullptr},
        {"a file made later, in folders made later", {}, {"out/src/a.txt"}, {}, {},
            [](const TempDir& dir) { dir.write("out/src/a.txt", "new"); }, {"out/src/a.txt"}, nullptr},
        {"the file a watched link leads to", {"real/a.txt", "src/a.txt -> ../real/a.txt"}, {"src/a.txt"}, {},
            {}, [](const TempDir& dir) { dir.write("real/a.txt", "new"); }, {"src/a.txt"},
            [](const TempDir& dir) { dir.write("real/b.txt", "new"); }},
        {"a watched file's sibling", {"src/a.txt", "src/b.txt"}, {"src/a.txt"}, {}, {},
            [](const TempDir& dir) {
                dir.write("src/b.txt", "new");
                dir.write("src/a.txt", "new");
            },
            {"src/a.txt"}, [](const TempDir& dir) { dir.write("src/b.txt", "newer"); }},
        {"a file in a subfolder made later", {"src/a.txt"}, {}, {"src"}, {},
            [](const TempDir& dir) { dir.write("src/sub/deeper/b.txt", "new"); }, {"src/sub/deeper/b.txt"},
            nullptr},
        {"a file removed from a watched folder", {"src/a.txt", "src/b.txt"}, {}, {"src"}, {},
            [](const TempDir& dir) { fs::remove(dir.path() / "src/a.txt"); }, {"src/a.txt"}, nullptr},
        {"a watched folder made later", {}, {}, {"late"}, {},
            [](const TempDir& dir) { dir.write("late/sub/a.txt", "new"); }, {"late/sub/a.txt"}, nullptr},
        {"hidden names and the outputs below a watched folder", {"src/out/old.woff2"}, {}, {"src"},
            {"src/out", "src/set.txt"},
            [](const TempDir& dir) {
                dir.write("src/.a.txt.swp", "x");
                dir.write("src/.git/index", "x");
                dir.write("src/out/new.woff2", "x");
                dir.write("src/.set.txt.charlib-new-1", "x");
                fs::rename(dir.path() / "src/.set.txt.charlib-new-1", dir.path() / "src/set.txt");
                dir.write("src/a.txt", "new");
            },
            {"src/a.txt"}, [](const TempDir& dir) { dir.write("src/.git/index", "y"); }},
        {"a watched folder removed and made again", {"src/a.txt"}, {}, {"src"}, {},
            [](const TempDir& dir) {
                fs::remove_all(dir.path() / "src");
                dir.write("src/b.txt", "new");
            },
            {"src", "src/a.txt", "src/b.txt"}, [](const TempDir& dir) { dir.write("beside.txt", "new"); }},
        {"a subfolder moved away", {"src/sub/a.txt"}, {}, {"src"}, {},
            [](const TempDir& dir) { fs::rename(dir.path() / "src/sub", dir.path() / "moved"); }, {"src/sub"},
            [](const TempDir& dir) { dir.write("moved/b.txt", "new"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TempDir dir;
        for (const std::string& name : c.existing) {
            const std::size_t arrow = name.find(" -> ");
            if (arrow == std::string::npos) dir.write(name, "old");
            if (arrow == std::string::npos) continue;
            const fs::path link = dir.path() / name.substr(0, arrow);
            fs::create_directories(link.parent_path());
            fs::create_symlink(name.substr(arrow + 4), link);
        }
        InputWatch watch;
        watch.watch(in(dir, c.files), in(dir, c.folders), in(dir, c.ignored));
        c.change(dir);
        const Deadline bound(std::chrono::seconds(5));
        const auto changed = watch.wait(bound.fd(), quiet);
        ASSERT_TRUE(changed) << "nothing reported";
        EXPECT_EQ(below(dir, *changed), std::vector<std::string>(c.changed.begin(), c.changed.end()));
        if (c.then) c.then(dir);
        const Deadline short_bound(3 * quiet);
        const auto more = watch.wait(short_bound.fd(), quiet);
        EXPECT_FALSE(more) << below(dir, *more).front() << " reported again";
    }
}

// Changes that come while it waits: a tool writing a file several times in a
// new subfolder makes one return, once the writes have been quiet for `quiet`.
TEST(InputWatch, GathersABurstOfWritesIntoOneReturn)
{
    constexpr milliseconds quiet(300);  // far longer than the writer's pauses, on a busy machine too
    const TempDir dir;
    fs::create_directory(dir.path() / "src");
    InputWatch watch;
    watch.watch({}, {dir.path() / "src"});
    std::atomic<std::chrono::steady_clock::time_point> last_write;
    std::thread writer([&] {
        fs::create_directory(dir.path() / "src/sub");
        for (int i = 0; i < 4; ++i) {
            std::this_thread::sleep_for(milliseconds(30));
            dir.write("src/sub/a.txt", std::string(i + 1, 'x'));
            last_write = std::chrono::steady_clock::now();
        }
    });
    const Deadline bound(std::chrono::seconds(5));
    const auto changed = watch.wait(bound.fd(), quiet);
    const auto returned = std::chrono::steady_clock::now();
    writer.join();
    ASSERT_TRUE(changed);
    EXPECT_EQ(below(dir, *changed), std::vector<std::string>{"src/sub/a.txt"});
    EXPECT_GE(returned - last_write.load(), quiet);
    const Deadline short_bound(milliseconds(150));
    EXPECT_FALSE(watch.wait(short_bound.fd(), milliseconds(10)));
}

int calls = 0;
void count_call(int)
{
    ++calls;
}

// Ctrl+C or kill while it waits ends the wait, before the changes gathered;
// the handlers before it are put back after, and an ignored signal stays ignored.
TEST(StopOnInterrupt, EndsTheWaitAndPutsTheHandlersBack)
{
    const struct {
        int signal;
        bool ignored_before;
    } cases[] = {{SIGINT, false}, {SIGTERM, false}, {SIGINT, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::strsignal(c.signal) + std::string(c.ignored_before ? ", ignored" : ""));
        const TempDir dir;
        ::signal(c.signal, c.ignored_before ? SIG_IGN : count_call);
        calls = 0;
        InputWatch watch;
        watch.watch({dir.path() / "a.txt"}, {});
        dir.write("a.txt", "new");  // were the stop not seen, the wait would return this
        {
            const StopOnInterrupt stop;
            ASSERT_EQ(stop.stopped(), 0);
            ::raise(c.signal);
            EXPECT_EQ(stop.stopped(), c.ignored_before ? 0 : c.signal);
            if (!c.ignored_before) {
                EXPECT_FALSE(watch.wait(stop.fd(), quiet));
            }
        }
        EXPECT_EQ(calls, 0);
        ::raise(c.signal);
        EXPECT_EQ(calls, c.ignored_before ? 0 : 1);
        ::signal(c.signal, SIG_DFL);
    }
}

}  // namespace
