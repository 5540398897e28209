#include "cli/watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "base/outcome.h"
#include "files/temporary_files.h"

namespace charlib::cli {

namespace fs = std::filesystem;

namespace {

// What a folder's watch reports: its files written, touched, made, removed
// or renamed, and the folder itself going away.
constexpr std::uint32_t folder_events = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE |
    IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

[[noreturn]] void fail_to_start(int error)
{
    if (error == EMFILE)
        throw Failure(Code::WatchLimit, {{"setting", std::string("fs.inotify.max_user_instances")}});
    throw Failure(Code::CannotStartWatch, {{"error", SystemError{error}}});
}

// Absolute and plain, without a trailing slash, to compare with the paths events give.
fs::path plain(const fs::path& path)
{
    fs::path made = fs::absolute(path).lexically_normal();
    if (!made.has_filename() && made.has_relative_path()) made = made.parent_path();
    return made;
}

// `path` is `top` or below it.
bool within(const fs::path& path, const fs::path& top)
{
    auto part = path.begin();
    for (const fs::path& name : top) {
        if (part == path.end() || *part != name) return false;
        ++part;
    }
    return true;
}

// As the sources' listing leaves out: a name that begins with a dot.
bool hidden(const fs::path& name)
{
    const std::string text = name.string();
    return text.size() > 1 && text[0] == '.' && text != "..";
}

bool is_folder(const fs::path& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

// `path`, or the nearest folder above it that exists.
fs::path nearest_folder(fs::path path)
{
    while (!is_folder(path) && path.has_relative_path())
        path = path.parent_path();
    return path;
}

}  // namespace

InputWatch::InputWatch()
{
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) fail_to_start(errno);
}

InputWatch::~InputWatch()
{
    ::close(fd_);
}

void InputWatch::watch(const std::vector<fs::path>& files, const std::vector<fs::path>& folders,
    const std::vector<fs::path>& ignored)
{
    files_.clear();
    folders_.clear();
    ignored_.clear();
    for (const fs::path& file : files) {
        files_.push_back({file, plain(file)});
        // A link's file can change where the link is not: watch that too.
        std::error_code error;
        if (fs::is_symlink(file, error)) {
            const fs::path target = fs::weakly_canonical(files_.back().absolute, error);
            if (!error) files_.push_back({file, target});
        }
    }
    for (const fs::path& folder : folders)
        folders_.push_back({folder, plain(folder)});
    for (const fs::path& path : ignored)
        ignored_.push_back(plain(path));
    place_watches(nullptr);
}

// Watches the folder of each file, or the nearest above it while it does not
// exist, and each watched folder and its subfolders, and no other. With
// `changed`, the files found in folders watched anew are changes.
void InputWatch::place_watches(std::set<fs::path>* changed)
{
    std::set<fs::path> wanted;
    for (const Given& file : files_)
        wanted.insert(nearest_folder(file.absolute.parent_path()));
    for (const Given& folder : folders_)
        wanted.insert(nearest_folder(folder.absolute));
    for (const Given& folder : folders_)
        if (is_folder(folder.absolute)) folders_below(folder.absolute, wanted);
    for (auto watched = watch_of_.begin(); watched != watch_of_.end();) {
        if (wanted.contains(watched->first)) {
            ++watched;
            continue;
        }
        ::inotify_rm_watch(fd_, watched->second);
        folder_of_.erase(watched->second);
        watched = watch_of_.erase(watched);
    }
    for (const fs::path& folder : wanted)
        add_folder(folder, changed);
}

// A folder made below a watched folder, and its subfolders.
void InputWatch::add_tree(const fs::path& top, std::set<fs::path>* changed)
{
    std::set<fs::path> found{top};
    folders_below(top, found);
    for (const fs::path& folder : found)
        add_folder(folder, changed);
}

// The subfolders of `top` that count, as the sources' listing walks them.
void InputWatch::folders_below(const fs::path& top, std::set<fs::path>& into) const
{
    std::error_code error;
    for (auto entry =
             fs::recursive_directory_iterator(top, fs::directory_options::skip_permission_denied, error);
         !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        if (!entry->is_directory(error) || entry->is_symlink(error)) continue;
        if (hidden(entry->path().filename()) || ignored(entry->path()))
            entry.disable_recursion_pending();
        else
            into.insert(entry->path());
    }
}

void InputWatch::add_folder(const fs::path& folder, std::set<fs::path>* changed)
{
    if (watch_of_.contains(folder)) return;
    const int wd = ::inotify_add_watch(fd_, folder.c_str(), folder_events);
    if (wd < 0) {
        // Gone or closed to us since it was listed: there is nothing of it to read.
        if (errno == ENOENT || errno == ENOTDIR || errno == EACCES) return;
        if (errno == ENOSPC)
            throw Failure(Code::WatchLimit, {{"setting", std::string("fs.inotify.max_user_watches")}});
        throw Failure(Code::CannotWatch, {{"path", folder}, {"error", SystemError{errno}}});
    }
    watch_of_[folder] = wd;
    folder_of_[wd] = folder;
    // Files written before the watch began would go unseen.
    if (changed == nullptr || !in_tree(folder)) return;
    std::error_code error;
    for (auto entry = fs::directory_iterator(folder, error); !error && entry != fs::directory_iterator();
         entry.increment(error))
        if (!entry->is_directory(error)) report(entry->path(), false, *changed);
}

// Stops watching `folder` and the folders below it.
void InputWatch::forget_below(const fs::path& folder)
{
    // A folder's subfolders follow it in the map's order.
    auto watched = watch_of_.lower_bound(folder);
    while (watched != watch_of_.end() && within(watched->first, folder)) {
        ::inotify_rm_watch(fd_, watched->second);
        folder_of_.erase(watched->second);
        watched = watch_of_.erase(watched);
    }
}

// The path a watched folder's file or subfolder is returned as, when it is
// one and counts.
std::optional<fs::path> InputWatch::in_tree(const fs::path& path) const
{
    if (ignored(path)) return std::nullopt;
    for (const Given& folder : folders_) {
        if (!within(path, folder.absolute)) continue;
        const fs::path below = path.lexically_relative(folder.absolute);
        bool shown = true;
        for (const fs::path& name : below)
            shown = shown && !hidden(name);
        if (shown) return below == "." ? folder.given : folder.given / below;
    }
    return std::nullopt;
}

bool InputWatch::ignored(const fs::path& path) const
{
    for (const fs::path& output : ignored_)
        if (within(path, output)) return true;
    return false;
}

// `folder` is a watched file's folder, a watched folder, or above one.
bool InputWatch::leads_to_watched(const fs::path& folder) const
{
    for (const Given& file : files_)
        if (within(file.absolute.parent_path(), folder)) return true;
    for (const Given& watched : folders_)
        if (within(watched.absolute, folder)) return true;
    return false;
}

// Adds the watched paths that a change to `path` changes. `folder_made`:
// `path` is a folder just made, whose files count only if they exist.
bool InputWatch::report(const fs::path& path, bool folder_made, std::set<fs::path>& changed) const
{
    if (ignored(path)) return false;
    bool counts = false;
    const auto add = [&](const fs::path& watched) {
        changed.insert(watched);
        counts = true;
    };
    std::error_code error;
    for (const Given& file : files_)
        if (within(file.absolute, path) && (!folder_made || fs::exists(file.absolute, error)))
            add(file.given);
    if (folder_made) return counts;  // its files are found as it is watched
    for (const Given& folder : folders_)
        if (within(folder.absolute, path)) add(folder.given);
    if (const std::optional<fs::path> below = in_tree(path)) add(*below);
    return counts;
}

bool InputWatch::take_event(int wd, std::uint32_t mask, const char* name, std::set<fs::path>& changed)
{
    if (mask & IN_Q_OVERFLOW) {  // events were lost: everything may have changed
        place_watches(nullptr);
        for (const Given& file : files_)
            changed.insert(file.given);
        for (const Given& folder : folders_)
            changed.insert(folder.given);
        return true;
    }
    const auto found = folder_of_.find(wd);
    if (found == folder_of_.end()) return false;  // a watch already forgotten
    const fs::path folder = found->second;
    const std::size_t before = changed.size();
    if (*name == '\0') {
        if (!(mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))) return false;
        // Removed, or moved away with its watches and those below it: a watched
        // file's folder is looked for again, above.
        forget_below(folder);
        if (leads_to_watched(folder)) place_watches(&changed);
        return report(folder, false, changed) || changed.size() != before;
    }
    const fs::path path = folder / name;
    if ((mask & IN_ISDIR) && (mask & (IN_CREATE | IN_MOVED_TO))) {
        if (leads_to_watched(path))
            place_watches(&changed);
        else if (in_tree(path))
            add_tree(path, &changed);
        return report(path, true, changed) || changed.size() != before;
    }
    return report(path, false, changed) || changed.size() != before;
}

std::optional<std::vector<fs::path>> InputWatch::wait(int stop, std::chrono::milliseconds quiet)
{
    using Clock = std::chrono::steady_clock;
    std::set<fs::path> changed;
    std::optional<Clock::time_point> last_change;
    alignas(inotify_event) char events[64 * 1024];
    for (;;) {
        int timeout = -1;
        if (last_change) {
            const auto left = *last_change + quiet - Clock::now();
            if (left <= Clock::duration::zero()) return std::vector<fs::path>(changed.begin(), changed.end());
            timeout = int(std::chrono::ceil<std::chrono::milliseconds>(left).count());
        }
        pollfd waited[2] = {{fd_, POLLIN, 0}, {stop, POLLIN, 0}};
        if (::poll(waited, 2, timeout) < 0) {
            if (errno == EINTR) continue;  // a signal's handler may have written to `stop`
            throw Failure(Code::CannotStartWatch, {{"error", SystemError{errno}}});
        }
        if (waited[1].revents != 0) return std::nullopt;  // written to, or closed
        if (!(waited[0].revents & POLLIN)) continue;
        for (;;) {
            const ssize_t size = ::read(fd_, events, sizeof events);
            if (size < 0 && errno == EINTR) continue;
            if (size < 0 && errno == EAGAIN) break;
            if (size <= 0)
                throw Failure(Code::CannotStartWatch, {{"error", SystemError{size < 0 ? errno : EIO}}});
            for (ssize_t at = 0; at < size;) {
                inotify_event event;
                std::memcpy(&event, events + at, sizeof event);
                const char* name = event.len > 0 ? events + at + sizeof event : "";
                if (take_event(event.wd, event.mask, name, changed)) last_change = Clock::now();
                at += ssize_t(sizeof event + event.len);
            }
        }
    }
}

namespace {

constexpr int stopping_signals[] = {SIGINT, SIGTERM};
std::atomic<int> stop_pipe{-1};
volatile sig_atomic_t stop_signal = 0;

void write_stop(int signal)
{
    const int saved = errno;
    stop_signal = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written =
        ::write(stop_pipe.load(), &byte, 1);  // full: it is readable already
    errno = saved;
}

}  // namespace

StopOnInterrupt::StopOnInterrupt()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw Failure(Code::CannotStartWatch, {{"error", SystemError{errno}}});
    read_ = ends[0];
    write_ = ends[1];
    stop_signal = 0;
    stop_pipe = write_;
    struct sigaction action { };
    action.sa_handler = write_stop;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(stopping_signals); ++i) {
        ::sigaction(stopping_signals[i], nullptr, &before_[i]);
        if (before_[i].sa_handler != SIG_IGN) ::sigaction(stopping_signals[i], &action, nullptr);
    }
}

StopOnInterrupt::~StopOnInterrupt()
{
    {
        // A signal that comes meanwhile waits for the handlers put back.
        const EndingSignalsHeld held;
        for (std::size_t i = 0; i < std::size(stopping_signals); ++i)
            ::sigaction(stopping_signals[i], &before_[i], nullptr);
        stop_pipe = -1;
    }
    ::close(read_);
    ::close(write_);
}

int StopOnInterrupt::stopped() const
{
    return stop_signal;
}

}  // namespace charlib::cli
