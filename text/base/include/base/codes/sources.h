#pragma once
// The outcomes of the sources room: X(Name, "json-id"). Each needs a wording in
// messages/ and its translation in po/.
#define CHARLIB_SOURCE_CODES(X) \
    /* none yet */
