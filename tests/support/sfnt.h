#pragma once
// Reading and editing the tables of a TrueType/OpenType font (one font, not a
// collection) in memory, to make the damaged fonts the tests need, and
// putting fonts together as a collection.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

// The font with `bytes` (put at its end) for its table `tag`, the table then
// named `renamed` if given: a table replaced, or one table traded for another.
inline std::string with_table(
    std::string font, std::string_view tag, std::string_view bytes, std::string_view renamed = {})
{
    font.resize((font.size() + 3) / 4 * 4, '\0');
    const std::size_t record = table(font, tag).record;
    put_u32(font, record + 8, static_cast<std::uint32_t>(font.size()));
    put_u32(font, record + 12, static_cast<std::uint32_t>(bytes.size()));
    if (!renamed.empty()) {  // the directory sorted by tag again, as readers search it
        font.replace(record, 4, renamed);
        std::vector<std::string> records;
        for (std::size_t i = 0, count = u16(font, 4); i < count; ++i)
            records.push_back(font.substr(12 + 16 * i, 16));
        std::sort(records.begin(), records.end());
        for (std::size_t i = 0; i < records.size(); ++i)
            font.replace(12 + 16 * i, 16, records[i]);
    }
    return font.append(bytes);
}

// A name record of the Windows platform: a name id, a language (0x0409
// English, 0x0804 Chinese of the mainland) and the text.
struct Name {
    unsigned id = 1, language = 0x0409;
    std::u16string text;
};

// The font with a name table of these records instead of its own (put at its end).
inline std::string with_names(std::string font, std::vector<Name> names)
{
    std::sort(names.begin(), names.end(), [](const Name& a, const Name& b) {
        return a.language != b.language ? a.language < b.language : a.id < b.id;
    });
    std::string name(6 + 12 * names.size(), '\0'), strings;
    put_u16(name, 2, static_cast<unsigned>(names.size()));
    put_u16(name, 4, static_cast<unsigned>(name.size()));
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::size_t record = 6 + 12 * i;
        put_u16(name, record, 3);  // Windows, Unicode BMP
        put_u16(name, record + 2, 1);
        put_u16(name, record + 4, names[i].language);
        put_u16(name, record + 6, names[i].id);
        put_u16(name, record + 8, static_cast<unsigned>(2 * names[i].text.size()));
        put_u16(name, record + 10, static_cast<unsigned>(strings.size()));
        for (char16_t unit : names[i].text)
            strings += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
    }
    return with_table(std::move(font), "name", name + strings);
}

// A collection (.ttc) of the fonts, each keeping tables of its own.
inline std::string collection(const std::vector<std::string>& fonts)
{
    std::string ttc = "ttcf" + std::string(8 + 4 * fonts.size(), '\0');
    put_u32(ttc, 4, 0x00010000);
    put_u32(ttc, 8, static_cast<std::uint32_t>(fonts.size()));
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        ttc.resize((ttc.size() + 3) / 4 * 4, '\0');
        const std::size_t start = ttc.size();
        put_u32(ttc, 12 + 4 * i, static_cast<std::uint32_t>(start));
        ttc += fonts[i];
        for (std::size_t t = 0, count = u16(fonts[i], 4); t < count; ++t) {
            const std::size_t offset = start + 12 + 16 * t + 8;
            put_u32(ttc, offset, static_cast<std::uint32_t>(u32(ttc, offset) + start));
        }
    }
    return ttc;
}

}  // namespace sfnt
