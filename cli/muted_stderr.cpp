#include "cli/muted_stderr.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace charlib::cli {

// Left alone when no copy of it can be kept to put back.
MutedStandardError::MutedStandardError()
{
    saved_ = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (saved_ < 0) return;
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) {
        ::close(saved_);
        saved_ = -1;
        return;
    }
    std::fflush(stderr);
    ::dup2(null, 2);
    ::close(null);
}

MutedStandardError::~MutedStandardError()
{
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
}

}  // namespace charlib::cli
