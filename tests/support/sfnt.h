#pragma once
// Reading and editing the tables of a TrueType/OpenType font (one font, not a
// collection) in memory, to make the damaged fonts the tests need.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sfnt {

inline unsigned u16(std::string_view font, std::size_t at)
{
    return static_cast<unsigned char>(font.at(at)) << 8 | static_cast<unsigned char>(font.at(at + 1));
}

inline std::uint32_t u32(std::string_view font, std::size_t at)
{
    return std::uint32_t{u16(font, at)} << 16 | u16(font, at + 2);
}

inline void put_u16(std::string& font, std::size_t at, unsigned value)
{
    font.at(at) = static_cast<char>(value >> 8);
    font.at(at + 1) = static_cast<char>(value);
}

inline void put_u32(std::string& font, std::size_t at, std::uint32_t value)
{
    put_u16(font, at, value >> 16);
    put_u16(font, at + 2, value & 0xFFFF);
}

// A table's record in the font's directory, and where its bytes lie.
struct Table {
    std::size_t record = 0, offset = 0, length = 0;
};

inline Table table(std::string_view font, std::string_view tag)
{
    for (std::size_t i = 0, count = u16(font, 4); i < count; ++i) {
        const std::size_t record = 12 + 16 * i;
        if (font.substr(record, 4) == tag) return {record, u32(font, record + 8), u32(font, record + 12)};
    }
    throw std::runtime_error("the font has no " + std::string(tag) + " table");
}

// Where a TrueType glyph's data begins in the font, from `head` and `loca`.
inline std::size_t glyph_data(std::string_view font, unsigned glyph)
{
    const bool long_offsets = u16(font, table(font, "head").offset + 50) == 1;
    const std::size_t loca = table(font, "loca").offset;
    const std::size_t offset = long_offsets ? u32(font, loca + 4 * glyph) : 2 * u16(font, loca + 2 * glyph);
    return table(font, "glyf").offset + offset;
}

}  // namespace sfnt
