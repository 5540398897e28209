#include "files/output_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

#include "base/outcome.h"
#include "files/temporary_files.h"

namespace charlib {

namespace {

bool marked_read_only(const struct stat& status)
{
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// 0 when every byte was written, else the system's error.
int write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return errno;
        if (count == 0) return ENOSPC;
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return 0;
}

// The file a path names once its symbolic links are followed; it need not
// exist. Fails with ELOOP on a circle of links.
std::filesystem::path follow_links(std::filesystem::path path, int& error)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status { };
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        std::string target(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0) {
            error = errno;
            return path;
        }
        target.resize(static_cast<std::size_t>(length));
        path = path.parent_path() / target;  // an absolute target replaces the whole
    }
    error = ELOOP;
    return path;
}

std::filesystem::path folder_of(const std::filesystem::path& file)
{
    return file.has_parent_path() ? file.parent_path() : ".";
}

constexpr std::string_view new_mark = ".charlib-new-", old_mark = ".charlib-old-";

// ".END.txt.charlib-new-RUN": a file of the batch RUN beside `file`, named
// so that a later run can tell what it is.
std::string beside(const std::filesystem::path& file, std::string_view mark, const std::string& run)
{
    return (folder_of(file) / ("." + file.filename().string() + std::string(mark) + run)).string();
}

// One for each batch: the process, which tells a later run whether the
// batch may still be at work, and a random number.
std::string new_run()
{
    std::uint32_t random = 0;
    if (::getrandom(&random, sizeof random, 0) != sizeof random)
        random = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    char run[32];
    std::snprintf(run, sizeof run, "%d-%08x", static_cast<int>(::getpid()), random);
    return run;
}

// The path absolute, its links followed as far as it exists: one for every
// way of naming a place.
std::filesystem::path resolved(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error).lexically_normal();
    if (!absolute.has_filename() && absolute.has_relative_path())
        absolute = absolute.parent_path();  // "web/"
    const std::filesystem::path followed = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute : followed;
}

// A file an earlier batch left beside one of this batch's targets.
struct Leftover {
    std::filesystem::path path;
    std::string target;  // its name
    bool is_new = false;  // a temporary file, not an old file
    std::string run;
};

// What `name` is, if it is a name new_run() and beside() make.
std::optional<Leftover> leftover_named(const std::filesystem::path& folder, const std::string& name)
{
    for (const std::string_view mark : {new_mark, old_mark}) {
        const std::size_t at = name.rfind(mark);
        if (name[0] != '.' || at == std::string::npos || at < 2) continue;
        const std::string run = name.substr(at + mark.size());
        const std::size_t dash = run.find('-');
        if (dash == 0 || dash == std::string::npos || run.find_first_not_of("0123456789") != dash ||
            run.size() != dash + 9 ||
            run.find_first_not_of("0123456789abcdef", dash + 1) != std::string::npos)
            continue;
        return Leftover{folder / name, name.substr(1, at - 1), mark == new_mark, run};
    }
    return std::nullopt;
}

// Whether the process of a batch still runs, so that its files may be in use.
bool still_running(const std::string& run)
{
    const long process = std::strtol(run.c_str(), nullptr, 10);
    return process <= 0 || process > INT_MAX || ::kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM;
}

// Puts an old file back over its target. False when the target is that
// very file, its second name made but the new file not yet renamed over it.
bool restore(const Leftover& old, const std::filesystem::path& target)
{
    struct stat kept { };
    struct stat now { };
    if (::lstat(old.path.c_str(), &kept) != 0)
        throw Failure(Code::CannotWrite, {{"path", old.path}, {"error", SystemError{errno}}});
    if (::lstat(target.c_str(), &now) == 0 && now.st_dev == kept.st_dev && now.st_ino == kept.st_ino)
        return false;
    if (::rename(old.path.c_str(), target.c_str()) != 0)
        throw Failure(Code::CannotWrite, {{"path", target}, {"error", SystemError{errno}}});
    return true;
}

}  // namespace

FileBatch::FileBatch() : run_(new_run())
{
}

FileBatch::~FileBatch()
{
    for (const Target& target : targets_)
        if (!target.temporary.empty() && !target.renamed) remove_temporary(target.temporary);
    for (const NewFolder& folder : folders_)
        if (!folder.renamed) remove_temporary(folder.temporary);
}

void FileBatch::add_folder(const std::filesystem::path& folder)
{
    const auto fail = [&](int error) {
        throw Failure(Code::CannotWrite, {{"path", folder}, {"error", SystemError{error}}});
    };
    const std::filesystem::path place = resolved(folder);
    struct stat status { };
    if (::stat(place.c_str(), &status) == 0) {
        if (!S_ISDIR(status.st_mode)) fail(ENOTDIR);
        return;  // its files are written in it as in any folder
    }
    if (errno != ENOENT) fail(errno);
    if (::lstat(place.c_str(), &status) == 0) fail(ENOENT);  // a link to nothing: not replaced by a folder
    const auto make_inside = [&](const std::filesystem::path& hidden) {
        std::error_code error;
        std::filesystem::create_directories(hidden, error);
        if (error) fail(error.value());
    };
    if (const std::optional<std::filesystem::path> hidden = made_path(place)) return make_inside(*hidden);
    // The first folder of the path that is missing is the one made at commit; those below it are
    // made inside it at once.
    std::filesystem::path missing = place;
    while (missing.has_relative_path() && ::stat(missing.parent_path().c_str(), &status) != 0 && errno == ENOENT)
        missing = missing.parent_path();
    if (::lstat(missing.c_str(), &status) == 0) fail(ENOENT);
    const std::filesystem::path parent = missing.parent_path();
    if (::stat(parent.c_str(), &status) != 0) fail(errno);
    if (!S_ISDIR(status.st_mode)) fail(ENOTDIR);
    if (marked_read_only(status)) fail(EACCES);
    const std::string temporary = beside(missing, new_mark, run_);
    if (const int error = create_temporary_folder(temporary)) fail(error);
    // Named in messages as the user named it.
    std::filesystem::path given = folder.has_filename() ? folder : folder.parent_path();
    for (std::filesystem::path below = place; below != missing; below = below.parent_path())
        given = given.parent_path();
    folders_.push_back({given.empty() ? missing : given, missing, temporary});
    if (missing != place) make_inside(std::filesystem::path(temporary) / place.lexically_relative(missing));
}

std::optional<std::filesystem::path> FileBatch::made_path(const std::filesystem::path& folder) const
{
    if (folders_.empty()) return std::nullopt;
    const std::filesystem::path place = resolved(folder);
    for (const NewFolder& made : folders_) {
        const std::filesystem::path below = place.lexically_relative(made.place);
        if (below.empty() || *below.begin() == "..") continue;
        return below == "." ? std::filesystem::path(made.temporary) : made.temporary / below;
    }
    return std::nullopt;
}

void FileBatch::add(const std::filesystem::path& path, std::string_view bytes)
{
    const auto fail = [&](int error) {
        throw Failure(Code::CannotWrite, {{"path", path}, {"error", SystemError{error}}});
    };
    Target target;
    target.path = target.file = path;
    int error = 0;
    target.file = follow_links(path, error);
    if (error != 0) fail(error);

    struct stat status { };
    if (::stat(target.file.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) fail(EISDIR);
        if (marked_read_only(status)) fail(EACCES);
        if (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) {
            target.bytes = bytes;  // written in place at commit: such a file cannot be replaced
            targets_.push_back(std::move(target));
            return;
        }
        if (!S_ISREG(status.st_mode)) fail(ENODEV);  // a block device: never written over
        target.mode = status.st_mode & 07777;
        target.existed = true;
    } else if (errno != ENOENT) {
        fail(errno);
    }
    const std::filesystem::path folder = folder_of(target.file);
    std::optional<std::filesystem::path> made;
    if (::stat(folder.c_str(), &status) != 0) {
        const int error = errno;
        if (error != ENOENT || !(made = made_path(folder))) fail(error);
    } else {
        if (!S_ISDIR(status.st_mode)) fail(ENOTDIR);
        if (marked_read_only(status)) fail(EACCES);
    }
    target.in_new_folder = made.has_value();
    std::string temporary = made ? (*made / target.file.filename()).string()
                                            : beside(target.file, new_mark, run_);
    const int fd = create_temporary_file(temporary);
    if (fd < 0) fail(errno);
    const auto abandon = [&](int error) {
        ::close(fd);
        remove_temporary(temporary);
        fail(error);
    };
    if (const int error = write_all(fd, bytes)) abandon(error);
    if (::fchmod(fd, target.mode) != 0 || ::fsync(fd) != 0) abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        remove_temporary(temporary);
        fail(error);
    }
    target.temporary = std::move(temporary);
    targets_.push_back(std::move(target));
}

void FileBatch::add_standard_output(std::string_view bytes)
{
    Target target;
    target.path = target.file = "-";
    target.bytes = bytes;
    target.descriptor = STDOUT_FILENO;
    targets_.push_back(std::move(target));
}

// Puts every target back as it was before commit began: each old file in
// its place, no file where there was none. Says what could not be undone.
Notes FileBatch::put_back()
{
    const EndingSignalsHeld held;
    Notes left;
    for (Target& target : targets_) {
        const char* backup = target.backup.c_str();
        bool undone = true;
        if (target.renamed)
            undone = target.existed ? ::rename(backup, target.file.c_str()) == 0
                                    : ::unlink(target.file.c_str()) == 0;
        else if (target.moved_aside)
            undone = ::rename(backup, target.file.c_str()) == 0;
        else if (!target.backup.empty())
            remove_temporary(backup);
        // An old file that could not be put back is all there is of it: no signal may remove it.
        if (!target.backup.empty()) forget_temporary(target.backup);
        if (!undone && target.existed)
            left.push_back({Code::OldFileKept,
                {{"path", target.path}, {"backup", std::filesystem::path(target.backup)}}});
        else if (!undone)
            left.push_back({Code::NewFileLeft, {{"path", target.path}}});
        target.renamed = target.moved_aside = false;
        target.backup.clear();
    }
    for (NewFolder& folder : folders_) {
        if (folder.renamed && ::rename(folder.place.c_str(), folder.temporary.c_str()) != 0)
            left.push_back({Code::FolderLeft, {{"path", folder.path}}});
        else
            folder.renamed = false;
    }
    return left;
}

Recovery FileBatch::recover()
{
    Recovery recovery;
    if (recovered_) return recovery;
    recovered_ = true;
    // The targets by folder and name, so that each folder is listed once.
    std::map<std::filesystem::path, std::map<std::string, std::filesystem::path>> targets;
    for (const Target& target : targets_)
        if (!target.temporary.empty() && !target.in_new_folder)
            targets[target.file.parent_path()][target.file.filename().string()] = target.path;
    for (const NewFolder& folder : folders_)
        targets[folder.place.parent_path()][folder.place.filename().string()] = folder.path;
    std::vector<Leftover> found;
    std::set<std::string> unfinished;  // batches killed before they had renamed all their files
    for (const auto& [folder, names] : targets) {
        std::error_code error;
        const std::filesystem::path listed = folder.empty() ? "." : folder;
        for (std::filesystem::directory_iterator entry(listed, error), end; !error && entry != end;
             entry.increment(error)) {
            std::optional<Leftover> leftover = leftover_named(folder, entry->path().filename().string());
            if (!leftover || !names.contains(leftover->target) || leftover->run == run_ ||
                still_running(leftover->run))
                continue;
            if (leftover->is_new) unfinished.insert(leftover->run);
            found.push_back(std::move(*leftover));
        }
    }
    std::sort(
        found.begin(), found.end(), [](const Leftover& a, const Leftover& b) { return a.path < b.path; });
    for (const Leftover& leftover : found) {
        const std::filesystem::path folder = leftover.path.parent_path();
        if (!leftover.is_new && unfinished.contains(leftover.run) &&
            restore(leftover, folder / leftover.target)) {
            recovery.restored.push_back(targets[folder][leftover.target]);
            continue;
        }
        std::error_code error;
        std::filesystem::remove_all(leftover.path, error);
        if (error)
            throw Failure(
                Code::CannotWrite, {{"path", leftover.path}, {"error", SystemError{error.value()}}});
        recovery.removed.push_back(leftover.path);
    }
    return recovery;
}

void FileBatch::commit()
{
    recover();
    const auto fail = [this](const Target& target, int error) {
        throw Failure(
            Outcome(Code::CannotWrite, {{"path", target.path}, {"error", SystemError{error}}}), put_back());
    };
    // Every target is looked at before the first is replaced, and after the
    // recovery, which may have given it back its old file.
    for (Target& target : targets_) {
        struct stat status { };
        if (target.temporary.empty() || target.in_new_folder) continue;
        target.existed = ::stat(target.file.c_str(), &status) == 0;
        if (target.existed && S_ISDIR(status.st_mode)) fail(target, EISDIR);
        if (target.existed && (status.st_mode & 07777) != target.mode)
            ::chmod(target.temporary.c_str(), status.st_mode & 07777);
    }
    {
        // A signal waits until every file is in place (or put back): only
        // SIGKILL leaves a batch half renamed.
        const EndingSignalsHeld held;
        // The old files stay under a second name until all is done: a hard
        // link, or where the file system has none, the old file moved aside.
        for (Target& target : targets_) {
            if (target.temporary.empty() || !target.existed) continue;
            target.backup = beside(target.file, old_mark, run_);
            if (::link(target.file.c_str(), target.backup.c_str()) == 0) continue;
            if (::rename(target.file.c_str(), target.backup.c_str()) != 0) fail(target, errno);
            target.moved_aside = true;
        }
        for (NewFolder& folder : folders_) {
            if (::rename(folder.temporary.c_str(), folder.place.c_str()) != 0)
                throw Failure(
                    Outcome(Code::CannotWrite, {{"path", folder.path}, {"error", SystemError{errno}}}),
                    put_back());
            folder.renamed = true;
        }
        for (Target& target : targets_) {
            if (target.temporary.empty() || target.in_new_folder) continue;
            if (::rename(target.temporary.c_str(), target.file.c_str()) != 0) fail(target, errno);
            forget_temporary(target.temporary);
            target.renamed = true;
            target.moved_aside = false;
        }
        // From here on the old files are only in the way: a signal may remove them.
        for (const Target& target : targets_)
            if (!target.backup.empty()) list_temporary(target.backup);
    }
    for (Target& target : targets_) {
        if (!target.temporary.empty()) continue;
        int fd = target.descriptor;
        if (fd < 0 && (fd = ::open(target.file.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY)) < 0)
            fail(target, errno);
        int error = write_all(fd, target.bytes);
        if (target.descriptor < 0 && ::close(fd) != 0 && error == 0) error = errno;
        if (error != 0) fail(target, error);
    }
    for (Target& target : targets_) {
        if (!target.backup.empty()) remove_temporary(target.backup);
        if (target.in_new_folder) forget_temporary(target.temporary);
    }
    for (const NewFolder& folder : folders_)
        forget_temporary(folder.temporary);
    targets_.clear();
    folders_.clear();
}

void replace_file(const std::filesystem::path& path, std::string_view bytes)
{
    FileBatch batch;
    batch.add(path, bytes);
    batch.commit();
}

}  // namespace charlib
