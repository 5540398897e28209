#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Plain, slow versions of the reader and of extract, written straight from
// their definitions, to compare the streaming ones against.
namespace reference {

// The lines of a file's bytes, each decoded on its own.
std::vector<std::u16string> lines(std::string_view bytes);

std::u16string extract(std::string_view bytes, std::u16string_view marker, std::int64_t offset);

// The preview filter, step by step as the window's Filter describes it.
std::vector<std::u16string> filter(
    const std::vector<std::u16string>& lines, std::u16string_view marker, double offset);

}  // namespace reference
