// Damaged fonts, made by editing the bytes of small subsets of real ones:
// every output gives a right result or a clear error, and glyphs that draw
// nothing are found from the font itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "face.h"
#include "font/font.h"
#include "sfnt.h"
#include "temp_dir.h"

namespace {

using namespace charlib;
using namespace charlib::testing;

// Spaces that are blank by design, among characters that are not.
const std::u32string spaced_set = U"AB 中文。\u3000\u00A0";

// The font's glyph for a character.
unsigned glyph_of(const std::string& font, char32_t c)
{
    const Face face(font);
    return FT_Get_Char_Index(face.face, c);
}

void fill_table(std::string& font, std::string_view tag, char value)
{
    const sfnt::Table table = sfnt::table(font, tag);
    std::fill_n(font.begin() + static_cast<std::ptrdiff_t>(table.offset), table.length, value);
}

TEST(DamagedFont, GlyphsThatDrawNothingAreFoundFromTheFontItself)
{
    const std::string truetype(subset_font(Font(microhei), spaced_set, false).bytes());
    const std::string cff(subset_font(Font(inconsolata), spaced_set, false).bytes());
    const struct {
        const char* what;
        const std::string& font;
        std::function<void(std::string&)> damage;
        std::u32string blank;
    } cases[] = {
        {"intact", truetype, [](std::string&) {}, U""},
        {"intact CFF", cff, [](std::string&) {}, U""},
        {"loca zeroed: every glyph empty", truetype, [](std::string& font) { fill_table(font, "loca", 0); },
            U"AB中文。"},
        {"loca past the end of glyf", truetype,
            [](std::string& font) {  // increasing offsets, all beyond the table's end
                const sfnt::Table loca = sfnt::table(font, "loca");
                for (std::size_t at = 0; at + 2 <= loca.length; at += 2)
                    sfnt::put_u16(font, loca.offset + at, 0x7000 + static_cast<unsigned>(at));
            },
            U"AB中文。"},
        {"glyf zeroed", truetype, [](std::string& font) { fill_table(font, "glyf", 0); }, U"AB中文。"},
        {"glyf garbage that FreeType cannot load", truetype,
            [](std::string& font) { fill_table(font, "glyf", '\xFF'); }, U"AB中文。"},
        {"中 alone without contours", truetype,
            [&](std::string& font) {
                const std::size_t header = sfnt::glyph_data(font, glyph_of(truetype, U'中'));
                std::fill_n(font.begin() + static_cast<std::ptrdiff_t>(header), 10, '\0');
            },
            U"中"},
        // HarfBuzz measures from the header's box, FreeType from the points.
        {"中 with contours in a zero box", truetype,
            [&](std::string& font) {
                const std::size_t header = sfnt::glyph_data(font, glyph_of(truetype, U'中'));
                std::fill_n(font.begin() + static_cast<std::ptrdiff_t>(header) + 2, 8, '\0');
            },
            U""},
    };
    TempDir dir;
    for (const auto& [what, intact, damage, blank] : cases) {
        std::string bytes = intact;
        damage(bytes);
        EXPECT_EQ(Font(dir.write("damaged.ttf", bytes)).blank(spaced_set + U"😀\n\u200D"), blank) << what;
    }
}

}  // namespace
