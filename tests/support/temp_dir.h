#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

// Under AddressSanitizer the tests that repeat a check many times do fewer
// rounds: that run looks for memory faults, which show in a few.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CHARLIB_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(CHARLIB_ADDRESS_SANITIZER)
inline constexpr int rounds_divisor = 12;
#else
inline constexpr int rounds_divisor = 1;
#endif

// A fresh folder under the system's temporary folder, removed with all it
// holds when the test ends.
class TempDir {
public:
    TempDir()
    {
        std::string name = (std::filesystem::temp_directory_path() / "charlib-test-XXXXXX").string();
        path_ = ::mkdtemp(name.data());
        std::filesystem::permissions(path_, std::filesystem::perms(0755));  // open to "nobody" too
    }
    ~TempDir() { std::filesystem::remove_all(path_); }

    const std::filesystem::path& path() const { return path_; }
    // Writes `bytes` to `name` in this folder (its folders made) and returns its path.
    std::filesystem::path write(const std::string& name, std::string_view bytes) const
    {
        std::filesystem::create_directories((path_ / name).parent_path());
        std::ofstream(path_ / name, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return path_ / name;
    }
    static std::string read(const std::filesystem::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    std::filesystem::path path_;
};
