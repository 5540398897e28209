#pragma once
// The outcomes of the formats room: X(Name, "json-id"). Each needs a wording in
// messages/ and its translation in po/.
#define CHARLIB_FORMAT_CODES(X) \
    /* none yet */
