// The fixed grid, its sheets and entries against FreeType's glyphs.
#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "face.h"

namespace {

using namespace charlib;
using namespace charlib::testing;

// The first row of GB2312's hanzi: at 16 pixels in WenQuanYi some reach 14
// rows above the baseline and some 2 below, so only baseline 14 holds them all.
const std::u32string gb2312_row =
    U"啊阿埃挨哎唉哀皑癌蔼矮艾碍爱隘鞍氨安俺按暗岸胺案肮昂盎凹敖熬翱袄傲奥懊澳芭捌扒叭吧笆八疤巴拔跋靶把耙坝"
    U"霸罢爸白柏百摆佰败拜稗斑班搬扳般颁板版扮拌伴瓣半办绊邦帮梆榜膀绑棒磅蚌镑傍谤苞胞包褒剥";

TEST(Grid, EachCellHoldsFreeTypesGlyphOnOneBaselineSheetAfterSheet)
{
    // A tab and an emoji the font lacks keep empty cells; the rest runs onto a second sheet.
    const std::u32string set = U"中\t😀。" + gb2312_row + U"文字";
    Face face(TempDir::read(microhei));
    FT_Set_Pixel_Sizes(face.face, 0, 16);
    for (bool mono : {false, true}) {
        AtlasOptions options;
        options.mono = mono;
        options.page_height = 70;  // 4 rows of 16 cells a sheet
        // Widths numbered in at least four hex digits, lines ending as asked.
        options.grid =
            mono ? GridOptions{.first_code = 0xF0} : GridOptions{.first_code = 0x8800, .line_end = "\n"};
        const Atlas atlas = render_atlas(Font(microhei), set, options, "game");
        EXPECT_EQ(atlas.font.page_files, (std::vector<std::string>{"game_0.png", "game_1.png"}));
        const std::vector<PagePixels>& sheets = atlas.page_pixels;
        ASSERT_TRUE(sheets.size() == 2 && sheets[1].width == 256 && sheets[1].height == 64);
        const unsigned base = atlas.font.base;
        EXPECT_EQ(std::pair(atlas.font.line_height, atlas.font.spacing), std::pair(16u, 0u));
        if (!mono) {
            EXPECT_EQ(base, 14u) << "the one baseline that holds the row";
        }

        std::string widths;
        std::size_t entry = 0;
        const auto fields = [](const AtlasChar& c) {
            return std::tuple(c.id, c.x, c.y, c.width, c.height, c.xoffset, c.yoffset, c.xadvance, c.page);
        };
        for (std::size_t i = 0; i < 128; ++i) {  // the cells after the set's stay empty
            const char32_t c = i < set.size() ? set[i] : U'\t';
            const std::size_t page = i / 64, cell_x = i % 16 * 16, cell_y = i % 64 / 16 * 16;
            std::vector<unsigned char> expected(16 * 16);
            int advance = 0;
            if (c != U'\t' && c != U'😀') {
                const FT_GlyphSlot glyph = face.draw(c, mono);
                const FT_Bitmap& bitmap = glyph->bitmap;
                advance = static_cast<int>((glyph->advance.x + 32) >> 6);
                const int left = glyph->bitmap_left, top = static_cast<int>(base) - glyph->bitmap_top;
                ASSERT_TRUE(
                    left >= 0 && top >= 0 && left + int(bitmap.width) <= 16 && top + int(bitmap.rows) <= 16)
                    << "U+" << std::hex << unsigned(c) << " fits its cell";
                for (unsigned row = 0; row < bitmap.rows; ++row)
                    for (unsigned column = 0; column < bitmap.width; ++column)
                        expected[(top + row) * 16 + left + column] = pixel(bitmap, row, column);
                ASSERT_LT(entry, atlas.font.chars.size());
                EXPECT_EQ(fields(atlas.font.chars[entry++]),
                    fields({c, unsigned(cell_x + left), unsigned(cell_y + top), bitmap.width, bitmap.rows,
                        left, top, advance, unsigned(page)}));
            }
            for (std::size_t y = 0; y < 16; ++y)
                for (std::size_t x = 0; x < 16; ++x)
                    ASSERT_EQ(sheets[page].values[(cell_y + y) * 256 + cell_x + x], expected[y * 16 + x])
                        << "cell " << i << " at " << x << "," << y;
            char line[32];
            std::snprintf(line, sizeof line, "%04X=%d", options.grid->first_code + unsigned(i), advance);
            if (i < set.size()) widths += line + options.grid->line_end;
        }
        EXPECT_EQ(entry, atlas.font.chars.size()) << "no entries for the empty cells";
        EXPECT_EQ(atlas.widths, widths);
        EXPECT_TRUE(
            atlas.widths.starts_with(mono ? "00F0=16\r\n00F1=0\r\n00F2=0\r\n" : "8800=16\n8801=0\n8802=0\n"));
    }
}

TEST(Grid, InkReachingOutOfItsCellIsMovedInAndOnlyInkLargerThanTheCellIsRefused)
{
    struct Case {
        std::u32string set;
        unsigned size, cell_width, cell_height;
        std::string refused;  // empty: every glyph fits once moved
    };
    // In WenQuanYi at 16 px the ideographs take baseline 14: J and _ reach left of the pen, g and _
    // below the cell, … (1 to 15) past a cell 14 wide. Ink larger than the cell either way is refused.
    for (const Case& test :
        {Case{U"中J_", 16, 16, 16, ""}, Case{U"g中文字", 16, 16, 16, ""}, Case{U"中…", 16, 14, 16, ""},
            Case{U"文中", 32, 16, 16, "glyph-too-large-for-cell character=U+6587 size=32 "},
            Case{U"iW", 16, 13, 16,
                "glyph-too-large-for-cell character=U+0057 size=16 width=14 height=12 cell_width=13 "
                "cell_height=16"},
            Case{U"j", 16, 16, 15,
                "glyph-too-large-for-cell character=U+006A size=16 width=4 height=16 cell_width=16 "
                "cell_height=15"}}) {
        AtlasOptions options;
        options.size = test.size;
        options.grid = GridOptions{.cell_width = test.cell_width, .cell_height = test.cell_height};
        const Font font(microhei);
        if (!test.refused.empty()) {
            EXPECT_PRED_FORMAT2(::testing::IsSubstring, test.refused,
                failure_of([&] { render_atlas(font, test.set, options, "game"); }));
            continue;
        }
        const Atlas atlas = render_atlas(font, test.set, options, "game");
        Face face(TempDir::read(microhei));
        FT_Set_Pixel_Sizes(face.face, 0, test.size);
        const int base = static_cast<int>(atlas.font.base);
        bool moved = false;
        ASSERT_EQ(atlas.font.chars.size(), test.set.size());
        for (std::size_t i = 0; i < test.set.size(); ++i) {
            const AtlasChar& placed = atlas.font.chars[i];
            const FT_GlyphSlot glyph = face.draw(placed.id);
            // Where to draw from the pen is FreeType's, wherever the ink lies in the cell.
            EXPECT_EQ(std::tuple(placed.xoffset, placed.yoffset, placed.width, placed.height),
                std::tuple(glyph->bitmap_left, base - glyph->bitmap_top, glyph->bitmap.width, glyph->bitmap.rows));
            const unsigned cell_x = unsigned(i) * test.cell_width;
            EXPECT_TRUE(placed.x >= cell_x && placed.x + placed.width <= cell_x + test.cell_width &&
                placed.y + placed.height <= test.cell_height)
                << "U+" << std::hex << unsigned(placed.id) << " in its cell";
            moved = moved || int(placed.x - cell_x) != placed.xoffset || int(placed.y) != placed.yoffset;
            const PagePixels& page = atlas.page_pixels[0];
            for (unsigned y = 0; y < placed.height; ++y)
                for (unsigned x = 0; x < placed.width; ++x)
                    ASSERT_EQ(page.values[(placed.y + y) * page.width + placed.x + x],
                        glyph->bitmap.buffer[y * glyph->bitmap.pitch + x]);
        }
        EXPECT_TRUE(moved) << "a glyph of the set reaches out of its cell";
    }
}

}  // namespace
