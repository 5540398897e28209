#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/types.h"

// Plain, slow versions of the reader and of extract, written straight from
// their definitions, to compare the streaming ones against.
namespace reference {

// The lines of a file's bytes, each decoded on its own.
std::vector<std::u16string> lines(std::string_view bytes);

// The preview filter, step by step as the window's Filter describes it.
std::vector<std::u16string> filter(
    const std::vector<std::u16string>& lines, std::u16string_view marker, double offset);

// A source in any encoding decoded whole by ICU, then its lines found and
// selected and their characters counted.
struct Extracted {
    charlib::Tally tally;
    std::size_t lines = 0, selected = 0;
};
Extracted extract(std::string_view bytes, charlib::Encoding encoding, charlib::Newline newline,
    std::u16string_view marker, std::int64_t offset);

}  // namespace reference
