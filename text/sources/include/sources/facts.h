#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "base/types.h"

// What a source holds beyond its characters.
namespace charlib {

// The first Control-Z of a source: the byte 0x1A in GBK and GB18030, the
// character U+001A in UTF-8 and UTF-16. Both counts start at 1; the
// character count leaves a byte-order mark out.
struct ControlZ {
    std::uint64_t byte = 0;
    std::uint64_t character = 0;
};
std::optional<ControlZ> find_control_z(const std::filesystem::path& path, Encoding encoding);

// What a source holds, found by decoding every line on its own: slower than
// extract_source, for reports. Offsets and lines count from 1.
SourceFacts examine_source(
    const std::filesystem::path& path, const SourceFormat& format, const Selection& selection);

}  // namespace charlib
