#include <png.h>
#include <stb_rect_pack.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include "font/faces.h"
#include "font/font.h"

namespace charlib {

namespace {

std::string code_point(char32_t c)
{
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(c));
    return name;
}

// A glyph as FreeType renders it: coverage 0-255 a pixel, rows top down.
struct Rendered {
    char32_t character = 0;
    unsigned width = 0, height = 0;
    int left = 0, top = 0, advance = 0;
    std::vector<unsigned char> coverage;
};

void set_size(const Font& font, unsigned size)
{
    if (size < 4 || size > 256)
        throw FontError(font.path(), "的字号 " + std::to_string(size) + " 不在 4 到 256 之间");
    if (FT_Set_Pixel_Sizes(font.faces().face, 0, size) != 0)
        throw FontError(
            font.path(), "没有 " + std::to_string(size) + " 像素的字形（点阵字体只有固定的字号）");
}

Rendered render(const Font& font, char32_t c, bool mono)
{
    FT_Face face = font.faces().face;
    const FT_Int32 flags =
        FT_LOAD_RENDER | (mono ? FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Char(face, c, flags) != 0) throw FontError(font.path(), "无法绘出 " + code_point(c));
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

// A picture as PNG: grey with alpha (white, coverage as alpha), 1-bit (white
// ink, the rest transparent), or plain grey.
enum class Pixels { GreyAlpha, OneBit, Grey };

void append(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

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

}  // namespace

Atlas render_atlas(
    const Font& font, std::u32string_view characters, const AtlasOptions& options, const std::string& name)
{
    set_size(font, options.size);
    std::vector<Rendered> glyphs;
    for (char32_t c : characters)
        if (needs_glyph(c) && font.has(c)) glyphs.push_back(render(font, c, options.mono));

    // Glyphs with pixels are packed, page after page; the space and its kind take no room.
    const unsigned pad = options.padding;
    std::vector<stbrp_rect> waiting;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Rendered& glyph = glyphs[i];
        if (glyph.width == 0 || glyph.height == 0) continue;
        if (glyph.width + 2 * pad > options.page_width || glyph.height + 2 * pad > options.page_height)
            throw FontError(font.path(),
                "的字形 " + code_point(glyph.character) + "（" + std::to_string(glyph.width) + "×" +
                    std::to_string(glyph.height) + " 像素，加边距）放不进 " +
                    std::to_string(options.page_width) + "×" + std::to_string(options.page_height) +
                    " 的页面");
        stbrp_rect rect{};
        rect.id = static_cast<int>(i);
        rect.w = static_cast<stbrp_coord>(glyph.width + 2 * pad);
        rect.h = static_cast<stbrp_coord>(glyph.height + 2 * pad);
        waiting.push_back(rect);
    }
    Atlas atlas;
    struct Placement {
        unsigned x = 0, y = 0, page = 0;
    };
    std::vector<Placement> placements(glyphs.size());
    std::vector<std::vector<unsigned char>> pages;
    std::vector<stbrp_node> nodes(options.page_width);
    while (!waiting.empty()) {
        stbrp_context context;
        stbrp_init_target(&context, static_cast<int>(options.page_width),
            static_cast<int>(options.page_height), nodes.data(), static_cast<int>(nodes.size()));
        stbrp_pack_rects(&context, waiting.data(), static_cast<int>(waiting.size()));
        std::vector<unsigned char>& page =
            pages.emplace_back(std::size_t{options.page_width} * options.page_height);
        std::vector<stbrp_rect> left;
        for (const stbrp_rect& rect : waiting) {
            if (!rect.was_packed) {
                left.push_back(rect);
                continue;
            }
            const Rendered& glyph = glyphs[static_cast<std::size_t>(rect.id)];
            Placement& placed = placements[static_cast<std::size_t>(rect.id)];
            placed.x = static_cast<unsigned>(rect.x) + pad;
            placed.y = static_cast<unsigned>(rect.y) + pad;
            placed.page = static_cast<unsigned>(pages.size() - 1);
            for (unsigned y = 0; y < glyph.height; ++y)
                std::copy_n(glyph.coverage.begin() + std::ptrdiff_t{y} * glyph.width, glyph.width,
                    page.begin() + std::ptrdiff_t{placed.y + y} * options.page_width + placed.x);
        }
        if (left.size() == waiting.size()) throw FontError(font.path(), "的字形无法排进页面");
        waiting = std::move(left);
    }
    if (pages.empty()) pages.emplace_back(std::size_t{options.page_width} * options.page_height);

    const FT_Size_Metrics& metrics = font.faces().face->size->metrics;
    const int base = static_cast<int>((metrics.ascender + 63) >> 6);
    std::string& fnt = atlas.descriptor;
    fnt = "info face=\"" + font.family() + "\" size=" + std::to_string(options.size) +
        " bold=0 italic=0 charset=\"\" unicode=1 stretchH=100 smooth=" + (options.mono ? "0" : "1") +
        " aa=" + (options.mono ? "0" : "1") + " padding=0,0,0,0 spacing=" + std::to_string(pad) + "," +
        std::to_string(pad) + " outline=0\n";
    fnt += "common lineHeight=" + std::to_string((metrics.height + 63) >> 6) +
        " base=" + std::to_string(base) + " scaleW=" + std::to_string(options.page_width) +
        " scaleH=" + std::to_string(options.page_height) + " pages=" + std::to_string(pages.size()) +
        " packed=0 alphaChnl=0 redChnl=4 greenChnl=4 blueChnl=4\n";
    for (std::size_t i = 0; i < pages.size(); ++i) {
        fnt += "page id=" + std::to_string(i) + " file=\"" + name + "_" + std::to_string(i) + ".png\"\n";
        atlas.pages.push_back(checked(font,
            png(pages[i], options.page_width, options.page_height,
                options.mono ? Pixels::OneBit : Pixels::GreyAlpha)));
    }
    fnt += "chars count=" + std::to_string(glyphs.size()) + "\n";
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Rendered& glyph = glyphs[i];
        const Placement& placed = placements[i];
        fnt += "char id=" + std::to_string(glyph.character) + " x=" + std::to_string(placed.x) +
            " y=" + std::to_string(placed.y) + " width=" + std::to_string(glyph.width) +
            " height=" + std::to_string(glyph.height) + " xoffset=" + std::to_string(glyph.left) +
            " yoffset=" + std::to_string(base - glyph.top) + " xadvance=" + std::to_string(glyph.advance) +
            " page=" + std::to_string(placed.page) + " chnl=15\n";
    }
    return atlas;
}

std::string render_preview(const Font& font, std::u32string_view characters, unsigned size)
{
    set_size(font, size);
    const FT_Size_Metrics& metrics = font.faces().face->size->metrics;
    const int base = static_cast<int>((metrics.ascender + 63) >> 6);
    const unsigned cell_height = static_cast<unsigned>((metrics.height + 63) >> 6) + 2, cell_width = size + 2;
    constexpr unsigned columns = 32;
    std::u32string shown;
    for (char32_t c : characters)
        if (needs_glyph(c)) shown += c;
    const unsigned rows =
        std::max<unsigned>(1, static_cast<unsigned>((shown.size() + columns - 1) / columns));
    const unsigned width = columns * cell_width, height = rows * cell_height;
    std::vector<unsigned char> image(std::size_t{width} * height, 255);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const int cell_x = static_cast<int>(i % columns * cell_width) + 1;
        const int cell_y = static_cast<int>(i / columns * cell_height) + 1;
        const auto ink = [&](int x, int y, unsigned char coverage) {
            if (x < 0 || y < 0 || x >= static_cast<int>(width) || y >= static_cast<int>(height)) return;
            unsigned char& pixel = image[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)];
            pixel = std::min<unsigned char>(pixel, 255 - coverage);
        };
        if (!font.has(shown[i])) {  // an empty box
            for (unsigned k = 0; k < size; ++k) {
                ink(cell_x + static_cast<int>(k), cell_y, 160);
                ink(cell_x + static_cast<int>(k), cell_y + static_cast<int>(cell_height) - 3, 160);
            }
            for (unsigned k = 0; k + 2 < cell_height; ++k) {
                ink(cell_x, cell_y + static_cast<int>(k), 160);
                ink(cell_x + static_cast<int>(size) - 1, cell_y + static_cast<int>(k), 160);
            }
            continue;
        }
        const Rendered glyph = render(font, shown[i], false);
        for (unsigned y = 0; y < glyph.height; ++y)
            for (unsigned x = 0; x < glyph.width; ++x)
                ink(cell_x + glyph.left + static_cast<int>(x),
                    cell_y + base - glyph.top + static_cast<int>(y),
                    glyph.coverage[std::size_t{y} * glyph.width + x]);
    }
    return checked(font, png(image, width, height, Pixels::Grey));
}

}  // namespace charlib
