#pragma once
// The outcomes of the output room: X(Name, "json-id"). Each needs a wording in
// messages/ and its translation in po/.
#define CHARLIB_OUTPUT_CODES(X) \
    /* none yet */
