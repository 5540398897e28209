#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "base/types.h"
#include "files/input_file.h"

// What a source holds beyond its characters.
namespace charlib {

// The first Control-Z of a source: the byte 0x1A in GBK and GB18030, the
// character U+001A in UTF-8 and UTF-16. Both counts start at 1; the
// character count leaves a byte-order mark out.
struct ControlZ {
    std::uint64_t byte = 0;
    std::uint64_t character = 0;
};
std::optional<ControlZ> find_control_z(InputFile& file, Encoding encoding);
std::optional<ControlZ> find_control_z(const std::filesystem::path& path, Encoding encoding);

// What a source holds, found by decoding every line on its own: slower than
// extract_source, for placing invalid sequences. Offsets and lines count from 1.
SourceFacts examine_source(InputFile& file, const SourceFormat& format, const Selection& selection);
SourceFacts examine_source(
    const std::filesystem::path& path, const SourceFormat& format, const Selection& selection);

// True when the file holds line feeds and not one carriage return: a text
// with Unix line ends, which the legacy rule reads as one line.
bool line_feeds_only(InputFile& file);

}  // namespace charlib
