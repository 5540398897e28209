#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

#include "faces.h"
#include "font/font.h"
#include "glyphs.h"

namespace charlib {

namespace {

// The picture both previews draw: a cell for each character that needs a
// glyph, 32 a row, black ink on white.
class PreviewSheet {
public:
    PreviewSheet(std::u32string_view characters, unsigned size, unsigned line_height) :
        cell_width_(size + 2),
        cell_height_(line_height + 2)
    {
        for (char32_t c : characters)
            if (needs_glyph(c)) shown_ += c;
        const auto rows = std::max<std::size_t>(1, (shown_.size() + columns - 1) / columns);
        width_ = columns * cell_width_;
        height_ = static_cast<unsigned>(rows) * cell_height_;
        image_.assign(std::size_t{width_} * height_, 255);
    }

    const std::u32string& shown() const { return shown_; }

    // A glyph's pixels in cell i, its top left at the offsets from the cell's
    // top left; `coverage(x, y)` gives its pixel's ink. Ink may spill into
    // the neighbouring cells, as on a line of text.
    template <typename Coverage>
    void draw(std::size_t i, int xoffset, int yoffset, unsigned width, unsigned height, Coverage coverage)
    {
        const int left = cell_x(i) + xoffset, top = cell_y(i) + yoffset;
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x)
                ink(left + static_cast<int>(x), top + static_cast<int>(y), coverage(x, y));
    }

    // What stands for a character without a glyph.
    void draw_empty_box(std::size_t i)
    {
        const int size = static_cast<int>(cell_width_) - 2;
        const int x = cell_x(i), y = cell_y(i), bottom = y + static_cast<int>(cell_height_) - 3;
        for (int k = 0; k < size; ++k) {
            ink(x + k, y, box_ink);
            ink(x + k, bottom, box_ink);
        }
        for (int k = 0; k + 2 < static_cast<int>(cell_height_); ++k) {
            ink(x, y + k, box_ink);
            ink(x + size - 1, y + k, box_ink);
        }
    }

    std::string encoded() const { return png(image_, width_, height_, Pixels::Grey); }

private:
    static constexpr unsigned columns = 32;
    static constexpr unsigned char box_ink = 160;

    int cell_x(std::size_t i) const { return static_cast<int>(i % columns * cell_width_) + 1; }
    int cell_y(std::size_t i) const { return static_cast<int>(i / columns * cell_height_) + 1; }

    void ink(int x, int y, unsigned char coverage)
    {
        if (x < 0 || y < 0 || x >= static_cast<int>(width_) || y >= static_cast<int>(height_)) return;
        unsigned char& pixel = image_[static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x)];
        pixel = std::min<unsigned char>(pixel, 255 - coverage);
    }

    unsigned cell_width_, cell_height_, width_ = 0, height_ = 0;
    std::u32string shown_;
    std::vector<unsigned char> image_;
};

// The coverage an engine shows for each value of the atlas's pages: a
// distance field cut at 128 with an edge about a pixel wide; other pages as
// they are.
std::array<unsigned char, 256> coverage_of_values(const BitmapFont& font)
{
    std::array<unsigned char, 256> coverage{};
    for (unsigned value = 0; value < 256; ++value) {
        if (font.distance_range == 0) {
            coverage[value] = static_cast<unsigned char>(value);
            continue;
        }
        // A step of the field is range / 256 pixels of distance.
        const double distance = (static_cast<double>(value) - 128) * font.distance_range / 256;
        coverage[value] =
            static_cast<unsigned char>(std::lround(std::clamp(127.5 + 255 * distance, 0.0, 255.0)));
    }
    return coverage;
}

}  // namespace

std::string render_preview(const Font& font, std::u32string_view characters, unsigned size)
{
    set_size(font, size);
    const FT_Size_Metrics& metrics = font.faces().face->size->metrics;
    const int base = static_cast<int>((metrics.ascender + 63) >> 6);
    PreviewSheet sheet(characters, size, static_cast<unsigned>((metrics.height + 63) >> 6));
    for (std::size_t i = 0; i < sheet.shown().size(); ++i) {
        if (!font.has(sheet.shown()[i])) {
            sheet.draw_empty_box(i);
            continue;
        }
        const Rendered glyph = render(font, sheet.shown()[i], {});
        sheet.draw(i, glyph.left, base - glyph.top, glyph.width, glyph.height,
            [&](unsigned x, unsigned y) { return glyph.coverage[std::size_t{y} * glyph.width + x]; });
    }
    return checked(sheet.encoded());
}

std::string render_preview(const Atlas& atlas, std::u32string_view characters)
{
    // The atlas knows no font file: errors name the face.
    const BitmapFont& font = atlas.font;
    std::unordered_map<char32_t, const AtlasChar*> placed;
    for (const AtlasChar& glyph : font.chars)
        placed.emplace(glyph.id, &glyph);
    const std::array<unsigned char, 256> coverage = coverage_of_values(font);
    PreviewSheet sheet(characters, font.size, font.line_height);
    for (std::size_t i = 0; i < sheet.shown().size(); ++i) {
        const auto found = placed.find(sheet.shown()[i]);
        if (found == placed.end()) {
            sheet.draw_empty_box(i);
            continue;
        }
        const AtlasChar& glyph = *found->second;
        if (glyph.width == 0 || glyph.height == 0) continue;
        if (glyph.page >= atlas.page_pixels.size() ||
            glyph.x + glyph.width > atlas.page_pixels[glyph.page].width ||
            glyph.y + glyph.height > atlas.page_pixels[glyph.page].height)
            throw Failure(Code::GlyphOffPage, {{"face", font.face}, {"character", glyph.id}});
        const PagePixels& page = atlas.page_pixels[glyph.page];
        sheet.draw(i, glyph.xoffset, glyph.yoffset, glyph.width, glyph.height, [&](unsigned x, unsigned y) {
            return coverage[page.values[std::size_t{glyph.y + y} * page.width + glyph.x + x]];
        });
    }
    return checked(sheet.encoded());
}

}  // namespace charlib
