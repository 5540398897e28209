#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "font/font.h"

// What the atlas, the grid and the preview share: glyphs as FreeType draws
// them, and pictures as PNG.
namespace charlib {

std::string glyph_code_point(char32_t c);  // "U+4E2D"

// How glyphs are drawn.
struct RenderStyle {
    bool mono = false;
    bool sdf = false;
    unsigned spread = 4;
};

// A glyph as FreeType renders it: a byte a pixel (coverage, 0 and 255 for
// 1-bit glyphs, or the distance field), rows top down. A blank glyph, such
// as the space, has no pixels.
struct Rendered {
    char32_t character = 0;
    unsigned width = 0, height = 0;
    int left = 0, top = 0, advance = 0;
    std::vector<unsigned char> coverage;
};

// Throws FontError when the size is out of range or the font lacks it.
void set_size(const Font& font, unsigned size);
Rendered render(const Font& font, char32_t c, const RenderStyle& style);
// Each of the characters drawn at the size, in order, on `threads` threads
// (0: one a core; one for a few dozen glyphs), each with a FreeType face of
// its own. The size is set on the font's face too. Throws FontError: the
// first failing character's. `progress` hears how many are drawn, now and
// then, from the calling thread.
using Progress = std::function<void(std::size_t done, std::size_t total)>;
std::vector<Rendered> render_all(const Font& font, std::u32string_view characters, const RenderStyle& style,
    unsigned size, unsigned threads = 0, const Progress& progress = {});

// A picture as PNG: grey with alpha (white, the value as alpha), 1-bit
// (white ink, the rest transparent), or plain grey. Empty when libpng fails.
enum class Pixels { GreyAlpha, OneBit, Grey };
std::string png(const std::vector<unsigned char>& image, unsigned width, unsigned height, Pixels pixels);
// The picture, or FontError when it could not be encoded.
std::string checked(const Font& font, std::string picture);

// The pages, the descriptor and the kerning of an atlas whose glyphs are
// placed: shared by the packed atlas and the grid.
void finish_atlas(const Font& font, Atlas& atlas, const AtlasOptions& options, const std::string& name);

// The atlas as a fixed grid (font/grid.cpp).
Atlas render_grid(
    const Font& font, std::u32string_view characters, const AtlasOptions& options, const std::string& name);

}  // namespace charlib
