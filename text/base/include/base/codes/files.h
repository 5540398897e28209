#pragma once
// The outcomes of the files room: X(Name, "json-id"). Each needs a wording in
// messages/ and its translation in po/.
#define CHARLIB_FILE_CODES(X) \
    X(CannotOpen, "cannot-open")             /* path, error: SystemError */ \
    X(CannotRead, "cannot-read")             /* path, error */ \
    X(ReadPastEnd, "read-past-end")          /* path */ \
    X(CannotWrite, "cannot-write")           /* path, error */ \
    X(NoConverter, "no-converter")           /* path, encoding */
