#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// Files written together: each to a temporary file beside its target, and
// only when all are written are they renamed over their targets, so a
// failure leaves every existing file as it was. A target marked read-only
// (no write permission for anyone) is refused even for root.
class FileBatch {
public:
    FileBatch() = default;
    ~FileBatch();  // removes what was added but not committed
    FileBatch(const FileBatch&) = delete;
    FileBatch& operator=(const FileBatch&) = delete;

    // Writes the temporary file; throws FileError naming `path`.
    void add(const std::filesystem::path& path, std::string_view bytes);
    // Renames each over its target.
    void commit();

private:
    std::vector<std::pair<std::string, std::filesystem::path>> written_;  // temporary, target
};

// One file, as a batch of one.
void replace_file(const std::filesystem::path& path, std::string_view bytes);

}  // namespace charlib
