#pragma once
// The test fonts, and what reads back what the font library makes: a font in
// memory as FreeType sees it, stb_image, libwoff2, and a refusal's outcome.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <stb_image.h>
#include <woff2/decode.h>
#include <woff2/output.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "font/font.h"
#include "temp_dir.h"

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
    // The glyph drawn, 8-bit or 1-bit.
    FT_GlyphSlot draw(char32_t c, bool mono = false) const
    {
        EXPECT_EQ(FT_Load_Char(face, c, FT_LOAD_RENDER | (mono ? FT_LOAD_TARGET_MONO : 0)), 0);
        return face->glyph;
    }
};

// A pixel of a FreeType bitmap, a 1-bit one's as 0 or 255.
inline int pixel(const FT_Bitmap& bitmap, int row, int column)
{
    const unsigned char* line = bitmap.buffer + row * bitmap.pitch;
    return bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (line[column / 8] >> (7 - column % 8) & 1) * 255
                                                   : line[column];
}

// One channel of a PNG decoded by stb_image to `channels` channels.
struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> values;
};
inline Picture decode_png(const std::string& png, int channels, int channel)
{
    Picture picture;
    int found = 0;
    unsigned char* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()),
        static_cast<int>(png.size()), &picture.width, &picture.height, &found, channels);
    EXPECT_TRUE(pixels);
    for (int i = 0; pixels && i < picture.width * picture.height; ++i)
        picture.values.push_back(pixels[i * channels + channel]);
    stbi_image_free(pixels);
    return picture;
}

// A WOFF2 font decoded by libwoff2.
inline std::string decoded(std::string_view woff2)
{
    std::string ttf;
    woff2::WOFF2StringOut out(&ttf);
    EXPECT_TRUE(woff2::ConvertWOFF2ToTTF(reinterpret_cast<const uint8_t*>(woff2.data()), woff2.size(), &out));
    ttf.resize(out.Size());
    return ttf;
}

// An outcome as its code and fields, the font's path left out:
// "damaged-glyph character=U+0041".
inline std::string described(const Outcome& outcome)
{
    std::string text(code_id(outcome.code));
    for (const Field& field : outcome.fields) {
        if (field.name == "path") continue;
        text += " " + std::string(field.name) + "=";
        const Value& value = field.value;
        if (const auto* c = std::get_if<char32_t>(&value)) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(*c));
            text += code;
        } else if (const auto* n = std::get_if<std::int64_t>(&value)) {
            text += std::to_string(*n);
        } else if (const auto* b = std::get_if<Bytes>(&value)) {
            text += std::to_string(b->count) + " bytes";
        } else if (const auto* e = std::get_if<SystemError>(&value)) {
            text += "errno " + std::to_string(e->number);
        } else if (const auto* p = std::get_if<std::filesystem::path>(&value)) {
            text += p->string();
        } else if (const auto* t = std::get_if<std::string>(&value)) {
            text += *t;
        } else {
            text += std::to_string(std::get<std::uint64_t>(value));
        }
    }
    return text;
}

// The Failure the action throws, described, or "(no failure)".
inline std::string failure_of(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Failure& failure) {
        return described(failure.outcome());
    }
    return "(no failure)";
}

}  // namespace charlib::testing
