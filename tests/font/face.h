#pragma once
// The test fonts, and a font in memory as FreeType sees it, for reading back
// what the font library makes.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace charlib::testing {

inline const std::filesystem::path microhei = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";  // TrueType outlines
inline const std::filesystem::path inconsolata = "/usr/share/fonts/truetype/inconsolata/Inconsolata.otf";  // CFF
// Has the CJK spacing features halt, palt, vhal and vpal (fonts-ipaexfont-gothic).
inline const std::filesystem::path ipaex_gothic = "/usr/share/fonts/opentype/ipaexfont-gothic/ipaexg.ttf";
// Where installed (fonts-dejavu-core): maps format characters and U+2800 to empty glyphs.
inline const std::filesystem::path dejavu_sans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A font in memory as FreeType sees it.
struct Face {
    std::string bytes;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    explicit Face(std::string font, unsigned index = 0) : bytes(std::move(font))
    {
        FT_Init_FreeType(&library);
        EXPECT_EQ(FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(bytes.data()),
                      static_cast<FT_Long>(bytes.size()), index, &face),
            0);
    }
    ~Face()
    {
        FT_Done_Face(face);
        FT_Done_FreeType(library);
    }
    std::u32string characters() const
    {
        std::u32string found;
        FT_UInt glyph = 0;
        for (FT_ULong c = FT_Get_First_Char(face, &glyph); glyph != 0; c = FT_Get_Next_Char(face, c, &glyph))
            found += static_cast<char32_t>(c);
        return found;
    }
    // The outline's points and tags, unscaled.
    std::vector<std::pair<long, long>> outline(char32_t c) const
    {
        EXPECT_EQ(FT_Load_Char(face, c, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING), 0);
        const FT_Outline& outline = face->glyph->outline;
        std::vector<std::pair<long, long>> points;
        for (int i = 0; i < outline.n_points; ++i)
            points.emplace_back(outline.points[i].x, outline.points[i].y * 4 + outline.tags[i] % 4);
        return points;
    }
};

}  // namespace charlib::testing
