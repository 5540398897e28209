#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/types.h"
#include "files/input_file.h"

// Where characters occur, for -f where, json and the report.
namespace charlib {

// Notes the places of the characters of `text`, which begins at `line`,
// `column`, until each has `most`.
void note_places(std::u32string_view text, const std::filesystem::path& source, std::uint64_t line,
    std::uint64_t column, const std::string& key, std::size_t most, Places& places);

// The places of `characters` (the source's tally) in its selected lines,
// read again and decoded line by line: only when places are asked for. The
// reading stops once every character has `most`.
void locate_in_lines(InputFile& file, const std::filesystem::path& source, SourceFormat format,
    const Selection& selection, std::u32string_view characters, std::size_t most, Places& places);

}  // namespace charlib
