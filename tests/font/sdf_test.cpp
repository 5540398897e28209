// Distance field atlases, read back against FreeType's own coverage, the
// preview drawn from an atlas, decoded with stb_image, and glyphs drawn on
// several threads.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "face.h"
#include "glyphs.h"

namespace {

using namespace charlib;
using namespace charlib::testing;

TEST(Sdf, FieldIsAboveTheOutlineInsideBelowItOutsideWithTheSpreadAsMargin)
{
    Face face(TempDir::read(microhei));
    const Font font(microhei);
    std::map<char32_t, unsigned> width_at_spread_4;
    struct Case {
        std::u32string set;
        unsigned size, spread;
    };
    // At 64 pixels the strokes are thicker than a spread of 2: the field reaches 255 inside.
    // 丂丣丯乪 overlap their strokes, where FreeType's field alone takes the wrong side.
    for (const auto& [set, size, spread] : std::initializer_list<Case>{
             {U"中永A g", 24, 4}, {U"中永A g", 24, 8}, {U"中永A g", 64, 2}, {U"丂丣丯乪", 32, 4}}) {
        FT_Set_Pixel_Sizes(face.face, 0, size);
        const int base = static_cast<int>((face.face->size->metrics.ascender + 63) >> 6);
        AtlasOptions options;
        options.size = size;
        options.page_width = options.page_height = 256;
        options.sdf = options.mono = true;  // the field wins
        options.spread = spread;
        const Atlas atlas = render_atlas(font, set, options, "f");
        ASSERT_EQ(atlas.pages.size(), 1u);
        const Picture page = decode_png(atlas.pages[0], 2, 1);  // the field is in the alpha
        ASSERT_EQ(page.width, 256);
        ASSERT_EQ(atlas.font.chars.size(), set.size());
        for (const AtlasChar& glyph : atlas.font.chars) {
            SCOPED_TRACE(
                ::testing::Message() << "U+" << std::hex << unsigned(glyph.id) << " spread " << spread);
            const FT_GlyphSlot slot = face.draw(glyph.id);
            const FT_Bitmap& ink = slot->bitmap;
            if (ink.width == 0) {
                EXPECT_EQ(glyph.width + glyph.height, 0u) << "the space has no pixels";
                EXPECT_GT(glyph.xadvance, 0);
                continue;
            }
            // The outline sits where the plain ink is, `spread` pixels in.
            EXPECT_EQ(glyph.xoffset, slot->bitmap_left - int(spread));
            EXPECT_EQ(glyph.yoffset, base - slot->bitmap_top - int(spread));
            ASSERT_EQ(glyph.width, ink.width + 2 * spread);
            ASSERT_EQ(glyph.height, ink.rows + 2 * spread);
            if (spread == 4) width_at_spread_4[glyph.id] = glyph.width;
            if (spread == 8) {
                EXPECT_EQ(glyph.width - width_at_spread_4[glyph.id], 8u) << "grows by twice the extra spread";
            }
            const int margin = int(spread);  // a lambda cannot capture a structured binding in clang 14
            const auto coverage = [&](int x, int y) {  // in the field's rectangle
                x -= margin, y -= margin;
                if (x < 0 || y < 0 || x >= int(ink.width) || y >= int(ink.rows)) return 0;
                return int(ink.buffer[y * ink.pitch + x]);
            };
            int inside = 0;
            for (int y = 0; y < int(glyph.height); ++y)
                for (int x = 0; x < int(glyph.width); ++x) {
                    const int field = page.values[(glyph.y + y) * 256 + glyph.x + x];
                    bool ink_near = false;
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx)
                            ink_near = ink_near || coverage(x + dx, y + dy) > 0;
                    if (coverage(x, y) == 255) {
                        ++inside;
                        ASSERT_GT(field, 128) << "full ink at " << x << "," << y;
                    } else if (coverage(x, y) > 0) {  // the outline crosses the pixel: within a pixel of it
                        ASSERT_LE(std::abs(field - 128), int(128 / spread)) << "edge at " << x << "," << y;
                    } else if (!ink_near) {
                        ASSERT_LT(field, 128) << "far outside at " << x << "," << y;
                    }
                }
            EXPECT_GT(inside, 10);
        }
    }
    AtlasOptions narrow;
    narrow.sdf = true;
    narrow.spread = 1;  // FreeType draws fields of 2 to 32 pixels
    EXPECT_EQ(failure_of([&] { render_atlas(font, U"中", narrow, "f"); }),
        "spread-out-of-range spread=1 low=2 high=32");
}

TEST(Sdf, PreviewFromAnAtlasShowsWhatThePreviewFromTheFontShows)
{
    const std::u32string set = U"中永A g😀字\n";  // the emoji is missing: an empty box
    const Font font(microhei);
    AtlasOptions options;
    options.size = 24;
    options.page_width = options.page_height = 128;
    const Picture expected = decode_png(render_preview(font, set, 24), 1, 0);
    const Picture plain = decode_png(render_preview(render_atlas(font, set, options, "f"), set), 1, 0);
    ASSERT_EQ(std::pair(plain.width, plain.height), std::pair(expected.width, expected.height));
    EXPECT_TRUE(plain.values == expected.values) << "the same pixels";

    options.sdf = true;
    const Picture field = decode_png(render_preview(render_atlas(font, set, options, "f"), set), 1, 0);
    ASSERT_EQ(field.values.size(), expected.values.size());
    // Ink where either has it (the edges differ a little), solid where the font's is.
    int ink = 0, agreed = 0, solid = 0, solid_agreed = 0;
    for (std::size_t i = 0; i < expected.values.size(); ++i) {
        const bool inked = expected.values[i] < 128, field_inked = field.values[i] < 128;
        ink += inked || field_inked;
        agreed += inked && field_inked;
        solid += expected.values[i] == 0;
        solid_agreed += expected.values[i] == 0 && field.values[i] < 64;
    }
    EXPECT_GT(solid, 200);
    EXPECT_GT(agreed, ink * 9 / 10) << agreed << " of " << ink;
    EXPECT_GT(solid_agreed, solid * 9 / 10) << solid_agreed << " of " << solid;
}

TEST(Sdf, GlyphsDrawnOnSeveralThreadsAreThoseOfOneInOrder)
{
    const Font font(microhei);
    std::u32string set = U"A g";
    for (char32_t c = U'一'; c < U'一' + 96; ++c)
        set += c;
    const auto drawn = [](const Rendered& glyph) {
        return std::tie(
            glyph.character, glyph.width, glyph.height, glyph.left, glyph.top, glyph.advance, glyph.coverage);
    };
    for (const RenderStyle& style :
        {RenderStyle{}, RenderStyle{true, false, 4}, RenderStyle{false, true, 3}}) {
        SCOPED_TRACE(::testing::Message() << "mono " << style.mono << " sdf " << style.sdf);
        const std::vector<Rendered> one = render_all(font, set, style, 16, 1);
        const std::vector<Rendered> three = render_all(font, set, style, 16, 3);
        ASSERT_EQ(one.size(), set.size());
        ASSERT_EQ(three.size(), set.size());
        for (std::size_t i = 0; i < set.size(); ++i) {
            EXPECT_EQ(one[i].character, set[i]);
            EXPECT_TRUE(drawn(one[i]) == drawn(three[i])) << "U+" << std::hex << unsigned(set[i]);
        }
    }
    // Every thread fails on a spread FreeType refuses: the caller gets the error.
    EXPECT_EQ(failure_of([&] {
        render_all(font, set, RenderStyle{false, true, 1}, 16, 3);
    }),
        "spread-out-of-range spread=1 low=2 high=32");
}

}  // namespace
