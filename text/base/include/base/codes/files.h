#pragma once
// The outcomes of the files room: X(Name, "json-id"). Each needs a wording in
// messages/ and its translation in po/.
#define CHARLIB_FILE_CODES(X)                                                                                \
    X(CannotOpen, "cannot-open") /* path, error: SystemError */                                              \
    X(CannotRead, "cannot-read") /* path, error */                                                           \
    X(ReadPastEnd, "read-past-end") /* path */                                                               \
    X(CannotWrite, "cannot-write") /* path, error */                                                         \
    X(NoConverter, "no-converter") /* encoding */                                                            \
    /* What a failed batch of output files could not undo: */                                                \
    X(OldFileKept, "old-file-kept") /* path replaced, backup: the old file */                                \
    X(NewFileLeft, "new-file-left") /* path written where there was none */                                  \
    X(FolderLeft, "folder-left") /* path of a folder made */                                                 \
    /* Watching the inputs for changes: */                                                                   \
    X(CannotStartWatch, "cannot-start-watch") /* error */                                                    \
    X(CannotWatch, "cannot-watch") /* path of a folder, error */                                             \
    X(WatchLimit, "watch-limit") /* setting: the sysctl that raises the limit */
