#include <algorithm>
#include <cmath>
#include <cstdio>

#include "faces.h"
#include "glyphs.h"

#include FT_TRUETYPE_TABLES_H

namespace charlib {

namespace {


// The baseline row that centres the em box in the cell, split as the font's
// ascent and descent split it (OS/2's typographic values, else hhea's).
int em_box_baseline(const Font& font, unsigned size, unsigned cell_height)
{
    const FT_Face face = font.faces().face;
    double ascent = face->ascender, descent = -face->descender;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->sTypoAscender - os2->sTypoDescender > 0) {
        ascent = os2->sTypoAscender;
        descent = -os2->sTypoDescender;
    }
    const double above = ascent + descent > 0 ? size * ascent / (ascent + descent) : size;
    const long baseline = std::lround((static_cast<double>(cell_height) - size) / 2 + above);
    return static_cast<int>(std::clamp(baseline, 0L, static_cast<long>(cell_height)));
}

// The baseline row at which the most glyphs lie wholly within the cell's
// height, the nearest to `preferred` of those. Fonts whose metrics do not
// describe their ideographs (WenQuanYi's typographic ascender is 0.77 em, its
// ideographs reach 0.83 em) thus still fill the cell.
int fitting_baseline(const std::vector<Rendered>& glyphs, unsigned cell_height, int preferred)
{
    const int bottom = static_cast<int>(cell_height);
    std::vector<int> change(cell_height + 2);  // over the baselines 0 to cell_height
    for (const Rendered& glyph : glyphs) {
        if (glyph.width == 0) continue;
        const int lowest = std::max(glyph.top, 0);
        const int highest = std::min(bottom - (static_cast<int>(glyph.height) - glyph.top), bottom);
        if (lowest > highest) continue;
        ++change[static_cast<std::size_t>(lowest)];
        --change[static_cast<std::size_t>(highest) + 1];
    }
    int best = preferred, best_fits = -1;
    for (int baseline = 0, fits = 0; baseline <= bottom; ++baseline) {
        fits += change[static_cast<std::size_t>(baseline)];
        if (fits > best_fits ||
            (fits == best_fits && std::abs(baseline - preferred) < std::abs(best - preferred))) {
            best = baseline;
            best_fits = fits;
        }
    }
    return best;
}

}  // namespace

Atlas render_grid(
    const Font& font, std::u32string_view characters, const AtlasOptions& options, const std::string& name)
{
    const GridOptions& grid = *options.grid;
    if (grid.cell_width == 0 || grid.cell_height == 0 || grid.columns == 0)
        throw Failure(Code::EmptyGridCell, {{"path", font.path()}});
    std::u32string drawn;
    std::vector<std::size_t> cells;  // of the glyphs
    for (std::size_t i = 0; i < characters.size(); ++i)
        if (needs_glyph(characters[i]) && font.has(characters[i])) {
            drawn += characters[i];
            cells.push_back(i);
        }
    const std::vector<Rendered> glyphs =
        render_all(
        font, drawn, RenderStyle{options.mono, options.sdf, options.spread}, options.size, 0, options.progress);
    const int baseline =
        fitting_baseline(glyphs, grid.cell_height, em_box_baseline(font, options.size, grid.cell_height));

    const unsigned rows = std::max(1u, options.page_height / grid.cell_height);
    const std::size_t cells_a_sheet = std::size_t{grid.columns} * rows;
    const std::size_t sheets =
        std::max<std::size_t>(1, (characters.size() + cells_a_sheet - 1) / cells_a_sheet);
    const unsigned sheet_width = grid.columns * grid.cell_width, sheet_height = rows * grid.cell_height;
    Atlas atlas;
    for (std::size_t i = 0; i < sheets; ++i)
        atlas.page_pixels.push_back(PagePixels{
            sheet_width, sheet_height, std::vector<unsigned char>(std::size_t{sheet_width} * sheet_height)});
    std::vector<int> advances(characters.size());  // 0 for an empty cell
    for (std::size_t g = 0; g < glyphs.size(); ++g) {
        const Rendered& glyph = glyphs[g];
        const std::size_t cell = cells[g] % cells_a_sheet;
        const unsigned sheet = static_cast<unsigned>(cells[g] / cells_a_sheet);
        const unsigned cell_x = static_cast<unsigned>(cell % grid.columns) * grid.cell_width;
        const unsigned cell_y = static_cast<unsigned>(cell / grid.columns) * grid.cell_height;
        const int left = glyph.left, top = baseline - glyph.top;
        const bool blank = glyph.width == 0;
        if (glyph.width > grid.cell_width || glyph.height > grid.cell_height)
            throw Failure(Code::GlyphTooLargeForCell,
                {{"path", font.path()}, {"character", glyph.character}, {"size", std::uint64_t{options.size}},
                    {"width", std::uint64_t{glyph.width}}, {"height", std::uint64_t{glyph.height}},
                    {"cell_width", std::uint64_t{grid.cell_width}},
                    {"cell_height", std::uint64_t{grid.cell_height}}});
        // Ink that reaches out of the cell (left of the pen, as `_` and `j` often do, or below
        // the baseline) is moved in; the offsets still say where to draw it from the pen.
        const auto moved_in = [](int at, unsigned length, unsigned cell) {
            return static_cast<unsigned>(std::clamp(at, 0, static_cast<int>(cell - length)));
        };
        // The space and its kind: an advance, no pixels.
        const AtlasChar placed{glyph.character, cell_x + (blank ? 0 : moved_in(left, glyph.width, grid.cell_width)),
            cell_y + (blank ? 0 : moved_in(top, glyph.height, grid.cell_height)), glyph.width, glyph.height, left,
            top, glyph.advance, sheet};
        PagePixels& page = atlas.page_pixels[sheet];
        for (unsigned y = 0; y < glyph.height; ++y)
            std::copy_n(glyph.coverage.begin() + std::ptrdiff_t{y} * glyph.width, glyph.width,
                page.values.begin() + std::ptrdiff_t{placed.y + y} * sheet_width + placed.x);
        atlas.font.chars.push_back(placed);
        advances[cells[g]] = glyph.advance;
    }
    for (std::size_t i = 0; i < characters.size(); ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "%04X=", grid.first_code + static_cast<unsigned>(i));
        atlas.widths += code + std::to_string(advances[i]) + grid.line_end;
    }
    atlas.font.line_height = grid.cell_height;
    atlas.font.base = static_cast<unsigned>(baseline);
    finish_atlas(font, atlas, options, name);
    return atlas;
}

}  // namespace charlib
