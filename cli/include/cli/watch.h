#pragma once

// What `charlib-cli build --watch` waits on between builds: the inputs
// changing (Linux inotify), or Ctrl+C.

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

namespace charlib::cli {

// Watches files and folders for changes to their contents. Make it, and call
// watch(), before the first build: what changes during a build is seen by the
// next wait().
class InputWatch {
public:
    // Throws Failure (CannotStartWatch) when inotify cannot start.
    InputWatch();
    ~InputWatch();
    InputWatch(const InputWatch&) = delete;
    InputWatch& operator=(const InputWatch&) = delete;

    // Replaces what is watched:
    // - `files`: a change to the file, also when an editor saves by writing a
    //   new file and renaming it over the old one, or deletes and makes it
    //   again; a file that does not exist yet, nor its folders, counts when
    //   it is made; a link, when it or the file it leads to changes;
    // - `folders`: a file added, removed or changed anywhere below them,
    //   subfolders made later included; as the sources' listing does, names
    //   that begin with a dot are left out (editors' swap files, .git, the
    //   files a build writes beside its outputs before renaming them);
    // - `ignored`: files or folders below a watched folder whose changes do
    //   not count: the build's own outputs, so writing them makes no loop.
    // Changes not yet returned by wait() are kept when their folder stays
    // watched. Throws Failure (CannotWatch, WatchLimit).
    void watch(const std::vector<std::filesystem::path>& files,
        const std::vector<std::filesystem::path>& folders,
        const std::vector<std::filesystem::path>& ignored = {});

    // Waits until something watched changes, then keeps gathering changes
    // until `quiet` passes with none (an editor's save, or a tool writing
    // many files, makes one rebuild), and returns the paths changed, sorted,
    // as watch() was given them: a file watched, or a file (or a folder
    // removed) below a watched folder. Returns nothing as soon as `stop` is
    // readable (a file descriptor, e.g. StopOnInterrupt's; -1 for none).
    // Throws Failure (CannotWatch, WatchLimit) when a new folder cannot be
    // watched.
    std::optional<std::vector<std::filesystem::path>> wait(
        int stop, std::chrono::milliseconds quiet = std::chrono::milliseconds(500));

private:
    // A path as given to watch(), and made absolute and plain to match events with.
    struct Given {
        std::filesystem::path given;
        std::filesystem::path absolute;
    };

    void place_watches(std::set<std::filesystem::path>* changed);
    void add_tree(const std::filesystem::path& top, std::set<std::filesystem::path>* changed);
    void folders_below(const std::filesystem::path& top, std::set<std::filesystem::path>& into) const;
    void add_folder(const std::filesystem::path& folder, std::set<std::filesystem::path>* changed);
    void forget_below(const std::filesystem::path& folder);
    bool take_event(int wd, std::uint32_t mask, const char* name, std::set<std::filesystem::path>& changed);
    bool report(const std::filesystem::path& path, bool made, std::set<std::filesystem::path>& changed) const;
    std::optional<std::filesystem::path> in_tree(const std::filesystem::path& path) const;
    bool ignored(const std::filesystem::path& path) const;
    bool leads_to_watched(const std::filesystem::path& folder) const;

    int fd_ = -1;
    std::vector<Given> files_, folders_;
    std::vector<std::filesystem::path> ignored_;
    std::unordered_map<int, std::filesystem::path> folder_of_;  // by watch descriptor
    std::map<std::filesystem::path, int> watch_of_;
};

// While it lives, SIGINT and SIGTERM no longer end the process: they make
// fd() readable, for InputWatch::wait()'s `stop`. Make it only around the
// wait: during a build, Ctrl+C must still remove the build's temporary files
// and end the process (remove_temporaries_on_ending_signals), whose handlers
// it puts back when it ends. A signal ignored when it is made (nohup, a
// background job) stays ignored. One at a time.
class StopOnInterrupt {
public:
    // Throws Failure (CannotStartWatch) when it cannot make its pipe.
    StopOnInterrupt();
    ~StopOnInterrupt();
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

    int fd() const { return read_; }
    // The signal that came, or 0: once the handlers are back, raising it ends
    // the process with the status a shell expects of Ctrl+C.
    int stopped() const;

private:
    int read_ = -1;
    int write_ = -1;
    struct sigaction before_[2]{};  // SIGINT's and SIGTERM's handlers
};

}  // namespace charlib::cli
