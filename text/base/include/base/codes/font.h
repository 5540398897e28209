#pragma once
// The outcomes of the font room: X(Name, "json-id"). Each needs a wording in
// messages/ and its translation in po/.
#define CHARLIB_FONT_CODES(X) \
    /* none yet */
