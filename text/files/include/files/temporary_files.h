#pragma once

#include <signal.h>

#include <string>

namespace charlib {

// The temporary files and folders of this process that exist now (stream
// copies, files written beside their targets), so that a signal that ends
// the process can remove them first. Each call holds off SIGTERM, SIGINT and
// SIGHUP on its thread while it makes or removes a file and changes the
// list, so a handler never finds a file made but not listed.

// Makes the file `path` (which must not exist) for writing, mode 0600, and
// lists it. The descriptor, or -1 with errno set.
int create_temporary_file(const std::string& path);
// As mkstemp: the trailing XXXXXX of `name` are replaced by the name made.
int create_unique_temporary_file(std::string& name);
// Makes the folder `path` and lists it. 0, or the system's error.
int create_temporary_folder(const std::string& path);
// Lists a file that exists already.
void list_temporary(const std::string& path);
// Removes a file or an empty folder, listed or not, and forgets it. 0, or
// the system's error (ENOENT when it was gone already).
int remove_temporary(const std::string& path);
// Forgets a path that is no longer ours to remove (renamed into place).
void forget_temporary(const std::string& path);

// SIGTERM, SIGINT and SIGHUP remove the listed files and folders (the
// newest first, so a folder's files before the folder) and then end the
// process as they would have: the exit status still names the signal. A
// signal the process was started ignoring (nohup, a background job) stays
// ignored.
void remove_temporaries_on_ending_signals();

// While this lives, SIGTERM, SIGINT and SIGHUP wait on this thread.
class EndingSignalsHeld {
public:
    EndingSignalsHeld();
    ~EndingSignalsHeld();
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

private:
    sigset_t before_;
};

}  // namespace charlib
