#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "font/font.h"

// What the atlas, the grid and the preview share: glyphs as FreeType draws
// them, and pictures as PNG.
namespace charlib {

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

// Throws Failure when the size is out of range or the font lacks it.
void set_size(const Font& font, unsigned size);
Rendered render(const Font& font, char32_t c, const RenderStyle& style);
// Each of the characters drawn at the size, in order, on `threads` threads
// (0: one a core; one for a few dozen glyphs), each with a FreeType face of
// its own. The size is set on the font's face too. Throws Failure: the
// first failing character's. `progress` hears how many are drawn, now and
// then, from the calling thread.
using Progress = std::function<void(std::size_t done, std::size_t total)>;
std::vector<Rendered> render_all(const Font& font, std::u32string_view characters, const RenderStyle& style,
    unsigned size, unsigned threads = 0, const Progress& progress = {});

// A picture as PNG: grey with alpha (white, the value as alpha), 1-bit
// (white ink, the rest transparent), or plain grey. Empty when libpng fails.
enum class Pixels { GreyAlpha, OneBit, Grey };
std::string png(const std::vector<unsigned char>& image, unsigned width, unsigned height, Pixels pixels);
// The picture; std::bad_alloc when libpng could not encode it.
std::string checked(std::string picture);

// The pages, the descriptor and the kerning of an atlas whose glyphs are
// placed: shared by the packed atlas and the grid.
void finish_atlas(const Font& font, Atlas& atlas, const AtlasOptions& options, const std::string& name);

// The largest page --page auto chooses; a set it cannot hold takes as many as it needs.
inline constexpr unsigned largest_auto_page = 4096;

// The lines of an atlas, in pixels at its size.
struct AtlasMetrics {
    unsigned line_height = 0, base = 0;
};

// The glyphs placed where `options.earlier` has them, the new ones in its
// free space (font/atlas_keep.cpp): each glyph's x, y and page, in the order
// of `glyphs`, and the pages, those that gained nothing with their earlier
// bytes and the others empty, to be drawn. Nothing, with a note, when the
// earlier atlas cannot be kept.
std::optional<Atlas> keep_earlier_places(const std::vector<Rendered>& glyphs, const AtlasOptions& options,
    const std::string& name, const AtlasMetrics& metrics, Notes& notes);

// The atlas as a fixed grid (font/grid.cpp).
Atlas render_grid(
    const Font& font, std::u32string_view characters, const AtlasOptions& options, const std::string& name);

}  // namespace charlib
