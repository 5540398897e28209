#include "files/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/error.h"

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

// A free name beside `file` for a file of ours, made and left empty.
std::string reserve_name(const std::filesystem::path& file, int& fd)
{
    std::string name = (folder_of(file) / ("." + file.filename().string() + ".XXXXXX")).string();
    fd = ::mkstemp(name.data());
    return name;
}

}  // namespace

FileBatch::~FileBatch()
{
    for (const Target& target : targets_)
        if (!target.temporary.empty() && !target.renamed) ::unlink(target.temporary.c_str());
}

void FileBatch::add(const std::filesystem::path& path, std::string_view bytes)
{
    const auto fail = [&](int error) { throw FileError(FileError::Action::Write, path, error); };
    Target target;
    target.path = target.file = path;
    int error = 0;
    target.file = follow_links(path, error);
    if (error != 0) fail(error);

    mode_t mode = 0644;
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
        mode = status.st_mode & 07777;
        target.existed = true;
    } else if (errno != ENOENT) {
        fail(errno);
    }
    const std::filesystem::path folder = folder_of(target.file);
    if (::stat(folder.c_str(), &status) != 0) fail(errno);
    if (!S_ISDIR(status.st_mode)) fail(ENOTDIR);
    if (marked_read_only(status)) fail(EACCES);

    int fd = -1;
    std::string temporary = reserve_name(target.file, fd);
    if (fd < 0) fail(errno);
    const auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        fail(error);
    };
    if (const int error = write_all(fd, bytes)) abandon(error);
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
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
// its place, no file where there was none. Says in `note` what could not be
// undone.
std::string FileBatch::put_back()
{
    std::string note;
    for (Target& target : targets_) {
        const char* backup = target.backup.c_str();
        bool undone = true;
        if (target.renamed)
            undone = target.existed ? ::rename(backup, target.file.c_str()) == 0
                                    : ::unlink(target.file.c_str()) == 0;
        else if (target.moved_aside)
            undone = ::rename(backup, target.file.c_str()) == 0;
        else if (!target.backup.empty())
            ::unlink(backup);
        if (!undone)
            note += (note.empty() ? "" : "；") + std::string("“") + target.path.string() + "”已被替换" +
                (target.existed ? "，原来的文件保存为“" + target.backup + "”" : "");
        target.renamed = target.moved_aside = false;
        target.backup.clear();
    }
    return note;
}

void FileBatch::commit()
{
    const auto fail = [this](const Target& target, int error) {
        throw FileError(FileError::Action::Write, target.path, error, put_back());
    };
    // Every target is looked at before the first is replaced.
    for (const Target& target : targets_) {
        struct stat status { };
        if (!target.temporary.empty() && ::stat(target.file.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            fail(target, EISDIR);
    }
    // The old files stay under a second name until all is done: a hard link,
    // or where the file system has none, the old file moved aside.
    for (Target& target : targets_) {
        if (target.temporary.empty() || !target.existed) continue;
        int fd = -1;
        target.backup = reserve_name(target.file, fd);
        if (fd < 0) fail(target, errno);
        ::close(fd);
        if (::unlink(target.backup.c_str()) != 0) fail(target, errno);
        if (::link(target.file.c_str(), target.backup.c_str()) == 0) continue;
        if (::rename(target.file.c_str(), target.backup.c_str()) != 0) fail(target, errno);
        target.moved_aside = true;
    }
    for (Target& target : targets_) {
        if (target.temporary.empty()) continue;
        if (::rename(target.temporary.c_str(), target.file.c_str()) != 0) fail(target, errno);
        target.renamed = true;
        target.moved_aside = false;
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
    for (Target& target : targets_)
        if (!target.backup.empty()) ::unlink(target.backup.c_str());
    targets_.clear();
}

void replace_file(const std::filesystem::path& path, std::string_view bytes)
{
    FileBatch batch;
    batch.add(path, bytes);
    batch.commit();
}

}  // namespace charlib
