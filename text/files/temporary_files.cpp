#include "files/temporary_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>

namespace charlib {

namespace {

struct Listed {
    std::string path;
    bool folder = false;
    Listed* next = nullptr;
};

// Newest first. Changed only while `busy` is set by a thread that holds the
// ending signals off, so a handler finds the list whole: it can wait for
// `busy` only on a thread other than the one that set it. Nothing is
// allocated or freed while `busy` is set: the handler may have stopped a
// thread inside malloc.
Listed* listed = nullptr;
std::atomic_flag busy = ATOMIC_FLAG_INIT;

void lock() noexcept
{
    while (busy.test_and_set(std::memory_order_acquire)) { }
}

void unlock() noexcept
{
    busy.clear(std::memory_order_release);
}

sigset_t ending_signals()
{
    sigset_t signals;
    ::sigemptyset(&signals);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaddset(&signals, signal);
    return signals;
}

// Takes the entry of `path` out of the list, if it is there.
std::unique_ptr<Listed> take(const std::string& path)
{
    const EndingSignalsHeld held;
    lock();
    Listed** link = &listed;
    while (*link != nullptr && (*link)->path != path)
        link = &(*link)->next;
    Listed* found = *link;
    if (found != nullptr) *link = found->next;
    unlock();
    return std::unique_ptr<Listed>(found);
}

// Runs `make`, a system call that makes the entry's file (>= 0 when it
// did), and lists the entry if it did, with no signal in between. Keeps
// the call's errno.
template <class Make> int make_listed(std::unique_ptr<Listed> entry, Make make)
{
    const EndingSignalsHeld held;
    const int result = make(*entry);
    const int error = errno;
    if (result >= 0) {
        lock();
        entry->next = listed;
        listed = entry.release();
        unlock();
    }
    entry.reset();
    errno = error;
    return result;
}

// Async-signal-safe, for the handler.
void remove_temporaries() noexcept
{
    lock();
    for (const Listed* entry = listed; entry != nullptr; entry = entry->next) {
        if (entry->folder)
            ::rmdir(entry->path.c_str());
        else
            ::unlink(entry->path.c_str());
    }
    unlock();
}

void remove_temporaries_and_end(int signal)
{
    remove_temporaries();
    struct sigaction action { };
    action.sa_handler = SIG_DFL;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);  // held until the handler returns, then ends the process
}

}  // namespace

EndingSignalsHeld::EndingSignalsHeld()
{
    const sigset_t signals = ending_signals();
    ::pthread_sigmask(SIG_BLOCK, &signals, &before_);
}

EndingSignalsHeld::~EndingSignalsHeld()
{
    ::pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

int create_temporary_file(const std::string& path)
{
    return make_listed(std::make_unique<Listed>(Listed{path}), [](const Listed& entry) {
        return ::open(entry.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    });
}

int create_unique_temporary_file(std::string& name)
{
    return make_listed(std::make_unique<Listed>(), [&](Listed& entry) {
        const int fd = ::mkstemp(name.data());
        entry.path = name;
        return fd;
    });
}

int create_temporary_folder(const std::string& path)
{
    const int made = make_listed(std::make_unique<Listed>(Listed{path, true}),
        [](const Listed& entry) { return ::mkdir(entry.path.c_str(), 0777); });  // the umask applies
    return made == 0 ? 0 : errno;
}

void list_temporary(const std::string& path)
{
    make_listed(std::make_unique<Listed>(Listed{path}), [](const Listed&) { return 0; });
}

int remove_temporary(const std::string& path)
{
    const EndingSignalsHeld held;
    struct stat status { };
    const bool folder = ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    const int error = (folder ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) == 0 ? 0 : errno;
    take(path);
    return error;
}

void forget_temporary(const std::string& path)
{
    take(path);
}

void remove_temporaries_on_ending_signals()
{
    struct sigaction action { };
    action.sa_handler = remove_temporaries_and_end;
    action.sa_mask = ending_signals();  // one handler at a time on a thread
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction before { };
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace charlib
