// The files library and its error route: system reasons, sources the kernel
// gives no size, temporary files and signals, a commit cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <thread>
#include <tuple>

#include "base/error.h"
#include "files/input_file.h"
#include "temp_dir.h"

namespace {

TEST(SystemReason, CommonErrorsAreWordedInChineseTheRestBySystem)
{
    const int common[] = {ENOENT, EACCES, EPERM, EEXIST, ENOTDIR, EISDIR, ENOTEMPTY, ELOOP, ENOSPC, EDQUOT,
        EROFS, EXDEV, EMFILE, ENFILE, ENAMETOOLONG, EIO, EFBIG, ENOMEM, EPIPE, ENXIO, EAGAIN, EBUSY, ENODEV};
    for (const int error : common) {
        const std::string reason = charlib::system_reason(error);
        EXPECT_FALSE(reason.empty()) << error;
        const bool english = std::any_of(
            reason.begin(), reason.end(), [](unsigned char c) { return c < 0x80 && std::isalpha(c); });
        EXPECT_FALSE(english) << error << ": " << reason;
    }
    EXPECT_EQ(charlib::system_reason(EDOM), std::strerror(EDOM));
}

TEST(StreamCopy, StopsOneBytePastALimitAndNoSooner)
{
    TempDir dir;
    const std::filesystem::path fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::tuple<std::string, std::optional<std::uint64_t>, bool> cases[] = {
        {"abcd", std::nullopt, false}, {"abcd", 4, false}, {"abcd", 3, true}, {"abcd", 0, true},
        {"", 0, false}};
    for (const auto& [bytes, limit, too_long] : cases) {
        std::thread writer([&, bytes = bytes] {
            const int fd = ::open(fifo.c_str(), O_WRONLY);
            EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
            ::close(fd);
        });
        const charlib::StreamCopy copy(fifo, limit);
        writer.join();
        EXPECT_EQ(copy.too_long(), too_long) << bytes << " " << limit.value_or(99);
        EXPECT_EQ(TempDir::read(copy.path()), too_long ? bytes.substr(0, *limit + 1) : bytes);
    }
}

}  // namespace
