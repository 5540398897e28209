#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "base/types.h"
#include "files/input_file.h"

namespace charlib {

// Reads the source again, decoding it line by line, and hands `visit` each
// line the extraction selects: its number (from 1) and its text, without
// the line break. Stops when `visit` returns false, at a Control-Z or at
// the end.
void for_each_selected_line(InputFile& file, SourceFormat format, const Selection& selection,
    const std::function<bool(std::uint64_t number, std::u32string_view line)>& visit);

}  // namespace charlib
