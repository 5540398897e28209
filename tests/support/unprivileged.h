#pragma once

#include <unistd.h>

#include <cstdlib>

// Root reads and writes files whatever their permission bits say. While this
// lives, a test running as root acts as the unprivileged user "nobody", so
// that a file with no read permission really cannot be read.
class Unprivileged {
public:
    Unprivileged() : was_root_(::geteuid() == 0)
    {
        if (was_root_ && ::seteuid(65534) != 0) was_root_ = false;
    }
    ~Unprivileged()
    {
        if (was_root_ && ::seteuid(0) != 0) std::abort();
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

private:
    bool was_root_;
};
