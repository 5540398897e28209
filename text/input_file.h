#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace charlib {

// A file opened for reading by path; the only place that calls the system's
// file functions for input. Failures throw FileError with the path.
class InputFile {
public:
    explicit InputFile(const std::filesystem::path& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Reads up to `size` bytes; 0 only at the end of the file.
    std::size_t read(char* buffer, std::size_t size);
    // Reads from `offset` on; throws FileError when the system cannot.
    void seek(std::uint64_t offset);
    // The file's size now.
    std::uint64_t size() const;
    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so a failure leaves any existing file as it was. A target marked
// read-only (no write permission for anyone) is refused even for root.
void replace_file(const std::filesystem::path& path, std::string_view bytes);

}  // namespace charlib
