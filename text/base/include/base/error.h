#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace charlib {

// The one error type of the core: a file or environment failure, with the
// path and the system's reason. what() is a ready-to-show message in Chinese.
class FileError : public std::runtime_error {
public:
    enum class Action { Open, Read, ReadPastEnd, Write, Converter, Parse };

    // `note`, when given, follows the reason: what else the failure left behind.
    // For Parse the note is the reason: where the file is malformed, and how.
    FileError(Action action, std::filesystem::path path, int system_error, const std::string& note = {});

    Action action() const noexcept { return action_; }
    const std::filesystem::path& path() const noexcept { return path_; }
    int system_error() const noexcept { return system_error_; }
    // The system's reason in Chinese, e.g. "文件或文件夹不存在".
    std::string reason() const;

private:
    Action action_;
    std::filesystem::path path_;
    int system_error_;
};

// A Chinese wording of an errno value; strerror() for the rare ones.
std::string system_reason(int system_error);

// "268,435,457 字节，超过上限 268,435,456 字节（256 MiB）": a size over a limit, exactly.
std::string size_over_limit(std::uint64_t size, std::uint64_t limit);
// "超过上限 268,435,456 字节（256 MiB）": where the size is only known to be over (a stream).
std::string over_limit(std::uint64_t limit);

}  // namespace charlib
