#include "files/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/outcome.h"
#include "base/types.h"
#include "files/temporary_files.h"

namespace charlib {

InputFile::InputFile(const std::filesystem::path& path) : path_(path)
{
    // Without O_NONBLOCK, opening a named pipe would wait for a writer for ever.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) throw Failure(Code::CannotOpen, {{"path", path}, {"error", SystemError{errno}}});
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
        throw Failure(Code::CannotOpen, {{"path", path}, {"error", SystemError{error}}});
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
        if (errno != EINTR) throw Failure(Code::CannotRead, {{"path", path_}, {"error", SystemError{errno}}});
    }
}

std::size_t InputFile::read_at(std::uint64_t offset, char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t count = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) throw Failure(Code::CannotRead, {{"path", path_}, {"error", SystemError{errno}}});
    }
}

std::uint64_t InputFile::size() const
{
    struct stat status { };
    if (::fstat(fd_, &status) != 0)
        throw Failure(Code::CannotRead, {{"path", path_}, {"error", SystemError{errno}}});
    return static_cast<std::uint64_t>(status.st_size);
}

ByteSearch find_byte(const std::filesystem::path& path, char byte)
{
    InputFile file(path);
    return find_byte(file, byte);
}

ByteSearch find_byte(InputFile& file, char byte)
{
    const std::unique_ptr<char[]> buffer(new char[default_buffer_size]);  // not zeroed: read over at once
    ByteSearch search;
    while (const std::size_t count = file.read_at(search.read, buffer.get(), default_buffer_size)) {
        if (const void* hit = std::memchr(buffer.get(), byte, count)) {
            search.found =
                search.read + static_cast<std::uint64_t>(static_cast<const char*>(hit) - buffer.get());
            search.read += count;
            return search;
        }
        search.read += count;
    }
    return search;
}

std::optional<FileId> file_id(const std::filesystem::path& path)
{
    struct stat status { };
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

namespace {

// TMPDIR, or /tmp. Not std::filesystem's, which throws (in English) when the
// folder is missing: mkstemp says so, as any failure to write.
std::filesystem::path temporary_folder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

}  // namespace

bool StreamCopy::is_stream(const std::filesystem::path& path)
{
    struct stat status { };
    if (path == "-") return true;
    if (::stat(path.c_str(), &status) != 0) return false;
    if (S_ISFIFO(status.st_mode)) return true;
    if (!S_ISREG(status.st_mode) || status.st_size != 0) return false;
    // The kernel's own files (/proc, /sys) say they are empty and are not: a byte tells.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;  // opened again to be read, and refused with the reason then
    char byte = 0;
    const bool has_bytes = ::read(fd, &byte, 1) == 1;
    ::close(fd);
    return has_bytes;
}

StreamCopy::StreamCopy(const std::filesystem::path& stream, std::optional<std::uint64_t> limit)
{
    const bool standard_input = stream == "-";
    // A named pipe waits here for its writer, as any reader of it does.
    const int in = standard_input ? STDIN_FILENO : ::open(stream.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw Failure(Code::CannotOpen, {{"path", stream}, {"error", SystemError{errno}}});
    struct stat status { };
    int error = ::fstat(in, &status) != 0 ? errno : 0;
    if (error == 0 && S_ISDIR(status.st_mode)) error = EISDIR;
    if (error == 0 && (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) && !::isatty(in)) error = ENODEV;
    const auto fail = [&](Code code, const std::filesystem::path& path, int error) {
        if (!standard_input) ::close(in);
        throw Failure(code, {{"path", path}, {"error", SystemError{error}}});
    };
    if (error != 0) fail(Code::CannotOpen, stream, error);

    const std::filesystem::path folder = temporary_folder();
    std::string name = (folder / "charlib-stream-XXXXXX").string();
    const int out = create_unique_temporary_file(name);
    if (out < 0) fail(Code::CannotWrite, folder, errno);
    copy_ = name;
    std::unique_ptr<char[]> buffer(new char[default_buffer_size]);
    const std::uint64_t most = limit ? *limit + 1 : UINT64_MAX;
    for (std::uint64_t copied = 0;;) {
        const auto wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(default_buffer_size, most - copied));
        if (wanted == 0) {
            too_long_ = true;
            break;
        }
        const ssize_t count = ::read(in, buffer.get(), wanted);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) error = errno;
        if (count <= 0) break;
        copied += static_cast<std::uint64_t>(count);
        for (ssize_t done = 0; done < count && error == 0;) {
            const ssize_t written = ::write(out, buffer.get() + done, static_cast<std::size_t>(count - done));
            if (written > 0)
                done += written;
            else if (written == 0)
                error = ENOSPC;
            else if (errno != EINTR)
                error = errno;
        }
        if (error != 0) {
            ::close(out);
            remove_temporary(name);
            fail(Code::CannotWrite, name, error);
        }
    }
    ::close(out);
    if (error != 0) {
        remove_temporary(name);
        fail(Code::CannotRead, stream, error);
    }
    if (!standard_input) ::close(in);
}

StreamCopy::~StreamCopy()
{
    remove_temporary(copy_);
}

}  // namespace charlib
