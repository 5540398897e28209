// The files library and its error route: system reasons, sources the kernel
// gives no size, temporary files and signals, a commit cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "base/error.h"

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

}  // namespace
