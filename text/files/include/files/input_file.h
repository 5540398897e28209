#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace charlib {

// A file opened for reading by path; the only place that calls the system's
// file functions for input. Failures throw Failure with the path.
class InputFile {
public:
    explicit InputFile(const std::filesystem::path& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Reads up to `size` bytes; 0 only at the end of the file.
    std::size_t read(char* buffer, std::size_t size);
    // Reads up to `size` bytes at `offset`, whatever read() has done: so that
    // readers of several parts of the file can share one descriptor.
    std::size_t read_at(std::uint64_t offset, char* buffer, std::size_t size);
    // The file's size now.
    std::uint64_t size() const;
    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// The first `byte` of a file, streaming: its offset from 0, or nothing;
// and how many bytes were read to tell.
struct ByteSearch {
    std::optional<std::uint64_t> found;
    std::uint64_t read = 0;
};
ByteSearch find_byte(const std::filesystem::path& path, char byte);
ByteSearch find_byte(InputFile& file, char byte);

// What makes a file itself, whatever path leads to it: its device and
// inode, links followed. Nothing when it cannot be looked at.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};
std::optional<FileId> file_id(const std::filesystem::path& path);

// A stream given as a source ("-" for standard input, a named pipe, or a
// file whose size is not known), copied whole into a temporary file so that
// it can be read as often as a file can; the copy is removed with this
// object. Devices other than a terminal are refused, as InputFile refuses
// them. Throws Failure.
class StreamCopy {
public:
    // With a limit, the copy stops at limit + 1 bytes: enough to tell the
    // stream is too long, without filling the disk with the rest.
    explicit StreamCopy(
        const std::filesystem::path& stream, std::optional<std::uint64_t> limit = std::nullopt);
    ~StreamCopy();
    StreamCopy(const StreamCopy&) = delete;
    StreamCopy& operator=(const StreamCopy&) = delete;

    const std::filesystem::path& path() const noexcept { return copy_; }
    // The stream held more than the limit; the copy has only its start.
    bool too_long() const noexcept { return too_long_; }
    // True for "-", a named pipe, and a regular file that says it is empty
    // but has bytes (the kernel's files under /proc say so).
    static bool is_stream(const std::filesystem::path& path);

private:
    std::filesystem::path copy_;
    bool too_long_ = false;
};

}  // namespace charlib
