#include "text/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "text/error.h"

namespace charlib {

InputFile::InputFile(const std::filesystem::path& path) : path_(path)
{
    // Without O_NONBLOCK, opening a named pipe would wait for a writer for ever.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) throw FileError(FileError::Action::Open, path, errno);
    struct stat status { };
    int error = 0;
    if (::fstat(fd_, &status) != 0)
        error = errno;
    else if (S_ISDIR(status.st_mode))
        error = EISDIR;
    else if (!S_ISREG(status.st_mode))
        error = ENODEV;  // a pipe or a device: no end to read to, or none a text has
    if (error != 0) {
        ::close(fd_);
        throw FileError(FileError::Action::Open, path, error);
    }
}

InputFile::~InputFile()
{
    ::close(fd_);
}

std::size_t InputFile::read(char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t count = ::read(fd_, buffer, size);
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) throw FileError(FileError::Action::Read, path_, errno);
    }
}

void InputFile::seek(std::uint64_t offset)
{
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
        throw FileError(FileError::Action::Read, path_, errno);
}

std::uint64_t InputFile::size() const
{
    struct stat status { };
    if (::fstat(fd_, &status) != 0) throw FileError(FileError::Action::Read, path_, errno);
    return static_cast<std::uint64_t>(status.st_size);
}

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

}  // namespace

FileBatch::~FileBatch()
{
    for (const auto& [temporary, path] : written_)
        ::unlink(temporary.c_str());
}

void FileBatch::add(const std::filesystem::path& path, std::string_view bytes)
{
    const auto fail = [&](int error) { throw FileError(FileError::Action::Write, path, error); };
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";

    mode_t mode = 0644;
    struct stat status { };
    if (::stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) fail(EISDIR);
        if (marked_read_only(status)) fail(EACCES);
        mode = status.st_mode & 07777;
    } else if (errno != ENOENT) {
        fail(errno);
    }
    if (::stat(folder.c_str(), &status) != 0) fail(errno);
    if (!S_ISDIR(status.st_mode)) fail(ENOTDIR);
    if (marked_read_only(status)) fail(EACCES);

    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
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
    written_.emplace_back(std::move(temporary), path);
}

void FileBatch::commit()
{
    while (!written_.empty()) {
        const auto& [temporary, path] = written_.front();
        if (::rename(temporary.c_str(), path.c_str()) != 0)
            throw FileError(FileError::Action::Write, path, errno);  // the rest are removed
        written_.erase(written_.begin());
    }
}

void replace_file(const std::filesystem::path& path, std::string_view bytes)
{
    FileBatch batch;
    batch.add(path, bytes);
    batch.commit();
}

}  // namespace charlib
