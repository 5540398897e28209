#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

// Reads the fuzzer's bytes: a few leading bytes choose the parameters, the
// rest becomes a file on disk.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size)
    {
    }

    unsigned take_byte()
    {
        if (rest_.empty()) return 0;
        const auto byte = static_cast<unsigned char>(rest_[0]);
        rest_.remove_prefix(1);
        return byte;
    }
    std::string_view take(std::size_t count)
    {
        const std::string_view taken = rest_.substr(0, count);
        rest_.remove_prefix(taken.size());
        return taken;
    }
    std::string_view rest() const { return rest_; }

    // A stream buffer from tiny, to cross every boundary, to the real size.
    std::size_t take_buffer_size()
    {
        static const std::size_t sizes[] = {2, 3, 4, 5, 7, 16, 64, 65, 100, 4096, std::size_t{1} << 20};
        return sizes[take_byte() % std::size(sizes)];
    }

private:
    std::string_view rest_;
};

// One file per fuzzing process, rewritten for each input.
inline const std::filesystem::path& fuzz_file(std::string_view bytes)
{
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("charlib-fuzz-" + std::to_string(::getpid()) + ".txt");
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);              \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
