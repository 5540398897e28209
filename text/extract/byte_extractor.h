#pragma once

#include "base/types.h"
#include "simd/kernel.h"

namespace charlib {

class ByteLines;

// Code page 936 or UTF-8, lines and markers found in the bytes.
Tally extract_from_bytes(
    ByteLines& lines, const SourceFormat& format, const Selection& selection, const Kernel& kernel);

}  // namespace charlib
