#include "font/glyphs.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include "font/faces.h"

#include FT_MODULE_H

namespace charlib {


std::string code_point(char32_t c)
{
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(c));
    return name;
}


void set_size(const Font& font, unsigned size)
{
    if (size < 4 || size > 256)
        throw FontError(font.path(), "的字号 " + std::to_string(size) + " 不在 4 到 256 之间");
    if (FT_Set_Pixel_Sizes(font.faces().face, 0, size) != 0)
        throw FontError(
            font.path(), "没有 " + std::to_string(size) + " 像素的字形（点阵字体只有固定的字号）");
}

namespace {

// Loads the glyph's outline and draws it as a distance field: FreeType's
// "sdf" renderer gives 128 on the outline, more inside, and a margin of the
// spread around it, with bitmap_left and bitmap_top moved out to match.
// Returns false for a glyph with no outline, such as the space.
bool load_distance_field(const Font& font, char32_t c, unsigned spread)
{
    FT_Int field_spread = static_cast<FT_Int>(spread);
    if (FT_Property_Set(font.faces().library, "sdf", "spread", &field_spread) != 0)
        throw FontError(
            font.path(), "无法画成距离场：扩展 " + std::to_string(spread) + " 像素不在 2 到 32 之间");
    // The outline even where the font has a bitmap for the size.
    FT_Face face = font.faces().face;
    if (FT_Load_Char(face, c, FT_LOAD_NO_BITMAP) != 0)
        throw FontError(font.path(), "无法绘出 " + code_point(c));
    if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        throw FontError(font.path(), "的 " + code_point(c) + " 不是轮廓字形，无法画成距离场");
    if (face->glyph->outline.n_contours == 0) return false;
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_SDF) != 0)
        throw FontError(font.path(), "无法把 " + code_point(c) + " 画成距离场");
    return true;
}

}  // namespace

Rendered render(const Font& font, char32_t c, const RenderStyle& style)
{
    FT_Face face = font.faces().face;
    if (style.sdf) {
        if (!load_distance_field(font, c, style.spread))
            return Rendered{c, 0, 0, 0, 0, static_cast<int>((face->glyph->advance.x + 32) >> 6), {}};
    } else {
        const FT_Int32 flags =
            FT_LOAD_RENDER | (style.mono ? FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME : FT_LOAD_TARGET_NORMAL);
        if (FT_Load_Char(face, c, flags) != 0) throw FontError(font.path(), "无法绘出 " + code_point(c));
    }
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    Rendered glyph{c, bitmap.width, bitmap.rows, slot->bitmap_left, slot->bitmap_top,
        static_cast<int>((slot->advance.x + 32) >> 6), {}};
    glyph.coverage.resize(std::size_t{glyph.width} * glyph.height);
    const unsigned pitch = static_cast<unsigned>(bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch);
    for (unsigned y = 0; y < glyph.height; ++y) {
        const unsigned char* row =
            bitmap.buffer + std::size_t{bitmap.pitch < 0 ? glyph.height - 1 - y : y} * pitch;
        for (unsigned x = 0; x < glyph.width; ++x) {
            unsigned value = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                value = (row[x >> 3] >> (7 - (x & 7)) & 1) * 255;
            else if (style.sdf)  // the field as it is: its num_grays says 255 but it spans 0 to 255
                value = row[x];
            else if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY)
                value = bitmap.num_grays > 1 ? row[x] * 255u / (bitmap.num_grays - 1u) : row[x];
            else
                throw FontError(font.path(), "的 " + code_point(c) + " 是彩色或分色的字形，无法做成点阵字库");
            glyph.coverage[std::size_t{y} * glyph.width + x] = static_cast<unsigned char>(value);
        }
    }
    // A blank glyph, such as the space, has no pixels at all.
    if (std::all_of(
            glyph.coverage.begin(), glyph.coverage.end(), [](unsigned char value) { return value == 0; })) {
        glyph.width = glyph.height = 0;
        glyph.coverage.clear();
    }
    return glyph;
}

namespace {

void append(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

}  // namespace

std::string png(const std::vector<unsigned char>& image, unsigned width, unsigned height, Pixels pixels)
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<unsigned char> row(std::size_t{width} * 2);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, append, nullptr);
    png_set_IHDR(png, info, width, height, pixels == Pixels::OneBit ? 1 : 8,
        pixels == Pixels::GreyAlpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (pixels == Pixels::OneBit) {
        // The .fnt takes glyphs from the alpha channel: black is transparent.
        png_color_16 transparent{};
        png_set_tRNS(png, info, nullptr, 0, &transparent);
    }
    png_write_info(png, info);
    for (unsigned y = 0; y < height; ++y) {
        const unsigned char* line = image.data() + std::size_t{y} * width;
        std::fill(row.begin(), row.end(), 0);
        for (unsigned x = 0; x < width; ++x) {
            if (pixels == Pixels::GreyAlpha) {
                row[2 * x] = 255;
                row[2 * x + 1] = line[x];
            } else if (pixels == Pixels::OneBit) {
                row[x >> 3] |= (line[x] >= 128) << (7 - (x & 7));
            } else {
                row[x] = line[x];
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string checked(const Font& font, std::string picture)
{
    if (picture.empty()) throw FontError(font.path(), "的图片无法编码为 PNG");
    return picture;
}

}  // namespace charlib
