#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/outcome.h"

namespace charlib {

// What a batch found beside its targets of an earlier batch that was killed
// (SIGKILL, a power cut) while it put its files in place, and put right.
struct Recovery {
    std::vector<std::filesystem::path> restored;  // targets given back the file they had before that batch
    std::vector<std::filesystem::path> removed;  // its temporary files and old files' second names
};

// Files written together, so that a failure leaves every target as it was.
//
// A regular target (or one that does not exist yet) is written to a
// temporary file beside it (".END.txt.charlib-new-RUN", RUN naming the
// batch), renamed over it at commit, and its old file is kept under a second
// name (".END.txt.charlib-old-RUN") until every target is in place, then put
// back if one fails. While they exist, the temporary files are listed for
// the ending signals' handlers (files/temporary_files.h), and the renames
// are done with those signals held off, so that only SIGKILL can cut a
// commit in the middle. A symbolic link is followed: the file it names is
// replaced and the link stays. A character device or a named pipe (/dev/null, a terminal) is
// written directly at commit, after the renames; what a failing device took
// cannot be taken back, but the renamed files are then put back. Folders,
// block devices and targets marked read-only (no write permission for
// anyone, honoured even for root) are refused when added.
class FileBatch {
public:
    FileBatch();
    ~FileBatch();  // removes what was added but not committed
    FileBatch(const FileBatch&) = delete;
    FileBatch& operator=(const FileBatch&) = delete;

    // Throws Failure naming `path` when it cannot be written.
    void add(const std::filesystem::path& path, std::string_view bytes);
    // A folder for files of the batch, added before them. If it does not
    // exist, it is made at commit: until then its first missing folder is a
    // hidden folder beside it (".web.charlib-new-RUN", held to the rules of a
    // target's folder) that holds the folders below and the files under their
    // own names, and is renamed into place with the other files, and removed
    // if the commit fails.
    void add_folder(const std::filesystem::path& folder);
    // Standard output, written last of all.
    void add_standard_output(std::string_view bytes);
    // Looks beside the targets for the files of an earlier batch that was
    // killed in its commit, and puts things right: if one of its temporary
    // files is still there, it had not renamed them all, so each old file
    // it kept goes back over its target and its temporaries are removed;
    // otherwise every file was in place, and the old ones are removed. The
    // files of a batch whose process still runs are left alone. Done by
    // commit() when not asked for before. Throws Failure.
    Recovery recover();
    // Puts every file in place, or none: throws Failure and leaves the
    // targets as they were (but for bytes a device has already taken).
    void commit();

private:
    struct Target {
        std::filesystem::path path;  // as given: for messages
        std::filesystem::path file;  // the file it names, links followed
        std::string temporary;  // empty: written directly
        std::string bytes;  // for direct targets
        int descriptor = -1;  // standard output
        std::string backup;  // the old file while the batch is put in place
        mode_t mode = 0644;  // the temporary's
        bool existed = false;
        bool moved_aside = false;  // the old file is at `backup` only
        bool renamed = false;
        bool in_new_folder = false;  // `temporary` is in a NewFolder, put in place with it
    };
    struct NewFolder {
        std::filesystem::path path;  // as given
        std::filesystem::path place;  // where it goes, absolute
        std::string temporary;  // the hidden folder
        bool renamed = false;
    };
    // Where the files of `folder` are written until commit, when it lies in a folder the batch makes.
    std::optional<std::filesystem::path> made_path(const std::filesystem::path& folder) const;
    Notes put_back();

    std::string run_;  // the process and a random number
    std::vector<Target> targets_;
    std::vector<NewFolder> folders_;
    bool recovered_ = false;
};

// One file, as a batch of one.
void replace_file(const std::filesystem::path& path, std::string_view bytes);

}  // namespace charlib
