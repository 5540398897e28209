#include <algorithm>

#include "font/faces.h"
#include "font/font.h"
#include "font/glyphs.h"

namespace charlib {

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
        const Rendered glyph = render(font, shown[i], {});
        for (unsigned y = 0; y < glyph.height; ++y)
            for (unsigned x = 0; x < glyph.width; ++x)
                ink(cell_x + glyph.left + static_cast<int>(x),
                    cell_y + base - glyph.top + static_cast<int>(y),
                    glyph.coverage[std::size_t{y} * glyph.width + x]);
    }
    return checked(font, png(image, width, height, Pixels::Grey));
}

std::string render_preview(const Atlas& atlas, std::u32string_view characters)
{
    (void)atlas;
    (void)characters;
    return {};
}

}  // namespace charlib
