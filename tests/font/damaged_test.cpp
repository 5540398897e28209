// Damaged fonts, made by editing the bytes of small subsets of real ones:
// every output gives a right result or a clear error, and glyphs that draw
// nothing are found from the font itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "face.h"
#include "font/font.h"
#include "font/web.h"
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
    // A sound font's empty glyphs: the interlinear annotation marks (format
    // characters) and the blank Braille pattern are meant to be blank, the
    // object replacement character is not.
    if (std::filesystem::exists(dejavu_sans)) {
        EXPECT_EQ(Font(dejavu_sans).blank(U"A\u2800\uFFF9\uFFFB\uFFFC"), U"\uFFFC");
    }
}

enum class Output { Subset, Web, Atlas, DistanceField, Grid, Preview };

// What an output makes of the font: the error, or whether its result draws A.
std::string outcome(const std::filesystem::path& path, Output output)
{
    const std::u32string set = U"AB 中";
    try {
        const Font font(path);
        if (output == Output::Subset) {
            const TempDir dir;
            const Font cut(dir.write("cut.otf", subset_font(font, set, false).bytes()));
            return !cut.has(U'A') ? "lacks A" : cut.blank(U"A").empty() ? "draws A" : "A is blank";
        }
        if (output == Output::Web) {
            const WebFont web = make_web_font(font, Tally{std::u32string(set), {}}, {});
            for (const WebFontPiece& piece : web.pieces)
                if (piece.characters.find(U'A') != std::u32string::npos) return "draws A";
            return "lacks A";
        }
        if (output == Output::Preview) return render_preview(font, set, 12).empty() ? "no picture" : "drew";
        AtlasOptions options;
        options.size = 12;
        options.sdf = output == Output::DistanceField;
        if (output == Output::Grid) options.grid.emplace();
        for (const AtlasChar& glyph : render_atlas(font, set, options, "a").font.chars)
            if (glyph.id == U'A') return glyph.width > 0 ? "draws A" : "A is blank";
        return "lacks A";
    } catch (const Failure& failure) {
        return described(failure.outcome());
    }
}

void set_u16(std::string& font, std::string_view tag, std::size_t at, int value)
{
    sfnt::put_u16(font, sfnt::table(font, tag).offset + at, static_cast<unsigned>(value) & 0xFFFF);
}

// The ascender, descender and line gap of both hhea and OS/2's typographic ones.
void set_line_metrics(std::string& font, int ascender, int descender, int gap)
{
    for (const auto& [tag, at] : {std::pair{"hhea", 4}, {"OS/2", 68}}) {
        set_u16(font, tag, at, ascender);
        set_u16(font, tag, at + 2, descender);
        set_u16(font, tag, at + 4, gap);
    }
}

TEST(DamagedFont, EveryOutputGivesAResultOrAClearError)
{
    const std::string truetype(subset_font(Font(microhei), U"AB 中", false).bytes());
    const std::string cff(subset_font(Font(inconsolata), U"AB ", false).bytes());
    const std::string unreadable = "damaged-font";
    const std::string damaged_a = "damaged-glyph character=U+0041";
    const std::string too_large = "glyph-too-tall character=U+0041 size=12 ";
    const std::string lines_too_tall = "lines-too-tall size=12 ";
    const std::string lost_cff = "subset-lost-table table=CFF";
    using enum Output;
    const struct {
        const char* what;
        const std::string& font;
        std::function<void(std::string&)> damage;
        std::vector<std::pair<Output, std::string>> outcomes;
    } cases[] = {
        {"zero units per em", truetype, [](std::string& font) { set_u16(font, "head", 18, 0); },
            {{Subset, unreadable}, {Atlas, unreadable}}},
        {"CFF cut off halfway", cff, [](std::string& font) { font.resize(font.size() / 2); },
            {{Subset, unreadable}, {Preview, unreadable}}},
        {"TrueType cut off in glyf", truetype,
            [](std::string& font) { font.resize(sfnt::table(font, "glyf").offset + 10); },
            {{Atlas, "A is blank"}, {Subset, "A is blank"}}},
        {"glyf garbage that FreeType cannot load", truetype,
            [](std::string& font) { fill_table(font, "glyf", '\xFF'); },
            {{Atlas, damaged_a}, {DistanceField, damaged_a}, {Grid, damaged_a}, {Preview, damaged_a},
                {Web, "woff2-failed"}}},
        // FreeType reads it whole, HarfBuzz not at all: the subset would have no outlines.
        {"CFF table shorter than its data", cff,
            [](std::string& font) { sfnt::put_u32(font, sfnt::table(font, "CFF ").record + 12, 200); },
            {{Subset, lost_cff}, {Web, lost_cff}, {Atlas, "draws A"}}},
        {"TrueType numGlyphs far above the glyphs", truetype,
            [](std::string& font) { set_u16(font, "maxp", 4, 0xFFFF); },
            {{Subset, "draws A"}, {Atlas, "draws A"}, {Web, "draws A"}}},
        {"CFF numGlyphs far above the glyphs", cff,
            [](std::string& font) { set_u16(font, "maxp", 4, 0xFFFF); },
            {{Subset, lost_cff}, {Atlas, "draws A"}}},
        {"cmap pointing past the glyph count", truetype,
            [](std::string& font) { set_u16(font, "maxp", 4, 2); },
            {{Subset, "lacks A"}, {Atlas, "lacks A"}, {Preview, "drew"}}},
        {"post garbage", truetype, [](std::string& font) { fill_table(font, "post", '\xFF'); },
            {{Subset, "subset-failed"}, {Atlas, "draws A"}}},
        {"16 units per em, lines to match: glyphs 128 ems high", truetype,
            [](std::string& font) {
                set_u16(font, "head", 18, 16);
                set_line_metrics(font, 13, -3, 0);
            },
            {{Atlas, too_large}, {DistanceField, too_large}, {Grid, too_large}, {Preview, too_large},
                {Subset, "draws A"}}},
        {"16 units per em, lines of 32767", truetype,
            [](std::string& font) {
                set_u16(font, "head", 18, 16);
                set_line_metrics(font, 32767, -32768, 32767);
            },
            {{Preview, lines_too_tall}, {Atlas, lines_too_tall}}},
    };
    TempDir dir;
    for (const auto& [what, intact, damage, outcomes] : cases) {
        std::string bytes = intact;
        damage(bytes);
        const auto path = dir.write("damaged.otf", bytes);
        for (const auto& [output, expected] : outcomes)
            EXPECT_NE(outcome(path, output).find(expected), std::string::npos)
                << what << ", output " << int(output) << ": " << outcome(path, output);
    }
}

}  // namespace
