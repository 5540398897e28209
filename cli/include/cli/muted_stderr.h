#pragma once

// Debian's libwoff2 prints a line on standard error for every font it
// compresses ("Compressed 41232 to 20160."). While a MutedStandardError
// lives, the process's standard error (file descriptor 2) goes to /dev/null;
// what charlib-cli says meanwhile goes to real().
namespace charlib::cli {

class MutedStandardError {
public:
    MutedStandardError();
    ~MutedStandardError();
    MutedStandardError(const MutedStandardError&) = delete;
    MutedStandardError& operator=(const MutedStandardError&) = delete;

    // The standard error as it was: 2 itself when it could not be muted.
    int real() const { return saved_ < 0 ? 2 : saved_; }

private:
    int saved_ = -1;
};

}  // namespace charlib::cli
