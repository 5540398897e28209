// Subset fonts and atlases, read back with FreeType, HarfBuzz, woff2 and stb_image.
#include <gtest/gtest.h>

#include <hb-ot.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <set>

#include "face.h"

namespace {

using namespace charlib;
using namespace charlib::testing;

TEST(Font, SubsetHoldsExactlyTheSetsCharactersWithTheSameOutlines)
{
    // Neither font has these default-ignorables, which are no more missing than the LF.
    const std::u32string set = U"中文字AB\n 😀\uFE0F\U000E0100\u2060";
    for (const auto& [path, face] : {std::pair{microhei, 1u}, {inconsolata, 0u}}) {
        const Face source(TempDir::read(path), face);
        std::u32string expected;
        for (char32_t c : source.characters())
            if (set.find(c) != std::u32string::npos) expected += c;
        const Font font(path, face);
        EXPECT_EQ(font.missing(set), path == microhei ? U"😀" : U"中文字😀");
        EXPECT_EQ(font.has_cff_outlines(), path == inconsolata);
        for (const std::string& bytes : {std::string(subset_font(font, set, false).bytes()),
                 decoded(subset_font(font, set, true).bytes())}) {
            const Face subset(bytes);
            EXPECT_EQ(subset.characters(), expected) << path;
            for (char32_t c : expected)
                EXPECT_EQ(subset.outline(c), source.outline(c)) << path << " U+" << std::hex << unsigned(c);
        }
    }
}

TEST(Font, AtlasGlyphsLieApartInTheirPagesAndShowFreeTypesPixels)
{
    // The font maps the ZWJ and the BOM, which are still not drawn.
    const std::u32string set = U"中文字 Ag。\t😀\u200D\uFEFF";
    Face face(TempDir::read(microhei));
    FT_Set_Pixel_Sizes(face.face, 0, 16);
    for (bool mono : {false, true}) {
        AtlasOptions options;
        options.padding = 2;
        options.page_width = options.page_height = 40;
        options.mono = mono;
        const Atlas atlas = render_atlas(Font(microhei), set, options, "game");
        ASSERT_EQ(atlas.pages.size(), 2u);
        ASSERT_EQ(atlas.font.chars.size(), 7u);  // not the tab, nor the emoji the font lacks
        std::vector<Picture> pages;
        for (const std::string& png : atlas.pages) {
            pages.push_back(decode_png(png, 2, 1));  // the glyphs are in the alpha
            ASSERT_TRUE(pages.back().width == 40 && pages.back().height == 40);
        }
        std::vector<int> owner(2 * 40 * 40, 0);
        for (const AtlasChar& c : atlas.font.chars) {
            if (c.id == U' ') {
                EXPECT_TRUE(c.width == 0 && c.xadvance > 0) << "the space: an advance, no pixels";
                continue;
            }
            ASSERT_TRUE(c.x >= 2 && c.y >= 2 && c.x + c.width + 2 <= 40 && c.y + c.height + 2 <= 40)
                << unsigned(c.id);
            const FT_Bitmap& bitmap = face.draw(c.id, mono)->bitmap;
            ASSERT_EQ(std::pair(c.width, c.height), std::pair(bitmap.width, bitmap.rows));
            for (unsigned row = 0; row < c.height; ++row)
                for (unsigned column = 0; column < c.width; ++column) {
                    const unsigned at = (c.page * 40 + c.y + row) * 40 + c.x + column;
                    EXPECT_EQ(owner[at]++, 0) << "overlap at " << unsigned(c.id);
                    EXPECT_EQ(pages[c.page].values[at % 1600], pixel(bitmap, row, column)) << unsigned(c.id);
                }
        }
        for (std::size_t at = 0; at < owner.size(); ++at)
            ASSERT_TRUE(owner[at] != 0 || pages[at / 1600].values[at % 1600] == 0)
                << "transparent around the glyphs";
    }
}

// --page auto: one page, both sides powers of two, and no page of less area
// holds the set; a set no 4096×4096 page holds takes as many as it needs.
TEST(Font, AutoPageIsTheSmallestPowerOfTwoPageThatHoldsTheSet)
{
    const Font font(microhei);
    std::u32string hanzi;
    for (char32_t c = U'一'; hanzi.size() < 400; ++c)
        hanzi += c;
    const struct {
        std::u32string set;
        unsigned size, pages;
    } cases[] = {
        {U"  ", 16, 1},  // no pixels at all: the smallest page
        {U"字", 16, 1},
        {U"AVATAR 中文字体，游戏里的一行字。", 24, 1},
        {hanzi.substr(0, 275), 16, 1},
        {hanzi.substr(0, 120), 48, 1},
        {hanzi, 256, 2},  // about 17×17 glyphs of 256 px a page
    };
    for (const auto& [set, size, pages] : cases) {
        AtlasOptions options;
        options.size = size;
        options.page_auto = true;
        options.page_width = options.page_height = 64;  // not used
        const Atlas atlas = render_atlas(font, set, options, "x");
        const unsigned width = atlas.font.page_width, height = atlas.font.page_height;
        SCOPED_TRACE(std::to_string(size) + " px, " + std::to_string(set.size()) + " characters: " +
            std::to_string(width) + "x" + std::to_string(height));
        ASSERT_EQ(atlas.page_pixels.size(), pages);
        EXPECT_TRUE(std::has_single_bit(width) && std::has_single_bit(height));
        EXPECT_TRUE(width >= 16 && height >= 16 && width <= 4096 && height <= 4096);
        if (pages > 1) {
            EXPECT_EQ(width * height, 4096u * 4096u);
            continue;
        }
        // Every page of half the area (and so of any less) leaves glyphs over.
        for (unsigned smaller = 16; smaller <= 4096; smaller *= 2) {
            const unsigned other = width * height / 2 / smaller;
            if (other < 16 || other > 4096) continue;
            AtlasOptions fixed = options;
            fixed.page_auto = false;
            fixed.page_width = smaller;
            fixed.page_height = other;
            std::size_t fixed_pages = 2;
            try {
                fixed_pages = render_atlas(font, set, fixed, "x").page_pixels.size();
            } catch (const Failure&) {  // a glyph wider or taller than the page
            }
            EXPECT_GT(fixed_pages, 1u) << smaller << "x" << other << " holds it too";
        }
    }
}

TEST(Font, PreviewDrawsEachGlyphOnItsBaselineAndABoxForWhatTheFontLacks)
{
    const Picture image = decode_png(render_preview(Font(microhei), U"中\u200D\uFE0F\n😀", 32), 1, 0);
    ASSERT_EQ(image.width, 32 * 34);
    Face face(TempDir::read(microhei));
    FT_Set_Pixel_Sizes(face.face, 0, 32);
    const FT_GlyphSlot glyph = face.draw(U'中');
    const int base = static_cast<int>((face.face->size->metrics.ascender + 63) >> 6);
    int top = image.height, bottom = -1;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < 34; ++x)
            if (image.values[y * image.width + x] < 255) top = std::min(top, y), bottom = std::max(bottom, y);
    EXPECT_EQ(top, 1 + base - glyph->bitmap_top);
    EXPECT_EQ(bottom - top + 1, int(glyph->bitmap.rows));
    EXPECT_EQ(image.values[1 * image.width + 34 + 1], 255 - 160)
        << "the emoji's empty box; nothing for the LF, ZWJ, VS16";
}

TEST(Font, BadFontsSizesAndPagesAreRefused)
{
    TempDir dir;
    const auto junk = dir.write("junk.ttf", "not a font at all");
    const auto pipe = dir.path() / "pipe.ttf";  // would block a reader for ever
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const auto huge = dir.write("huge.ttf", "");  // sparse: takes no room on disk
    std::filesystem::resize_file(huge, (std::uint64_t{1} << 30) + 1);
    AtlasOptions small_page, tiny;
    small_page.page_width = small_page.page_height = 12;
    tiny.size = 3;
    const std::string not_regular = "cannot-open error=errno " + std::to_string(ENODEV);
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { Font font(junk); }, "not-a-font"},
        {[&] { Font font(dir.path() / "missing.ttf"); }, "cannot-open error=errno " + std::to_string(ENOENT)},
        {[&] { Font font(dir.path()); }, "cannot-open error=errno " + std::to_string(EISDIR)},
        {[&] { Font font(pipe); }, not_regular},
        {[&] { Font font("/dev/zero"); }, not_regular},
        {[&] { Font font(huge); }, "font-too-large limit=1073741824 bytes size=1073741825 bytes"},
        {[&] { Font font(microhei, 2); }, "no-such-face face=2 count=2"},
        {[&] { render_atlas(Font(microhei), U"字", tiny, "x"); }, "size-out-of-range size=3 low=4 high=256"},
        {[&] { render_preview(Font(microhei), U"字", 257); }, "size-out-of-range size=257 low=4 high=256"},
        {[&] { render_atlas(Font(microhei), U"字", small_page, "x"); },
            "glyph-too-large-for-page character=U+5B57 width=16 height=18 page_width=12 page_height=12"},
    };
    for (const auto& [action, outcome] : cases)
        EXPECT_EQ(failure_of(action), outcome);
}

// The feature tags of a font's GSUB and GPOS, read by HarfBuzz.
std::set<std::string> feature_tags(const std::string& font)
{
    hb_blob_t* blob =
        hb_blob_create(font.data(), unsigned(font.size()), HB_MEMORY_MODE_READONLY, nullptr, nullptr);
    hb_face_t* face = hb_face_create(blob, 0);
    std::set<std::string> tags;
    for (hb_tag_t table : {HB_OT_TAG_GSUB, HB_OT_TAG_GPOS}) {
        hb_tag_t found[256];
        unsigned count = 256;
        hb_ot_layout_table_get_feature_tags(face, table, 0, &count, found);
        for (unsigned i = 0; i < count; ++i) {
            char tag[4];
            hb_tag_to_string(found[i], tag);
            tags.emplace(tag, 4);
        }
    }
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    return tags;
}

TEST(Font, MalformedLayoutFeatureListsAreRefusedAndChangeNothing)
{
    const std::pair<std::string_view, std::string_view> cases[] = {{"", "no-feature-tags"},
        {" , ", "no-feature-tags"}, {"smcp,kerning", "bad-feature-tag tag=kerning"},
        {"+", "bad-feature-tag tag=+"}, {"-,kern", "bad-feature-tag tag=-"},
        {"smcp，kern", "bad-feature-tag tag=smcp，kern"}, {"ka\x7F", "bad-feature-tag tag=ka\x7F"}};
    for (const auto& [bad, refused] : cases) {
        std::vector<LayoutFeatureChange> changes{{true, "kept"}};
        const std::optional<Outcome> problem = parse_layout_features(bad, changes);
        EXPECT_EQ(problem ? described(*problem) : "(accepted)", refused) << bad;
        EXPECT_EQ(changes.size(), 1u) << bad;
    }
}

TEST(Font, SubsetKeepsTheCjkSpacingFeaturesAndTheChangesAsked)
{
    // The kern feature is HarfBuzz's default; halt, palt, vhal and vpal are not.
    const std::u32string punctuation = U"「中文，」。アあAV";
    const struct {
        std::filesystem::path font;
        std::string_view changes;
        std::set<std::string> expected;
    } cases[] = {
        {microhei, "", {"kern"}},
        {microhei, "-kern", {}},
        {ipaex_gothic, "", {"halt", "palt", "vhal", "vpal", "vert"}},
        {ipaex_gothic, "-palt -vhal", {"halt", "vpal", "vert"}},
        {ipaex_gothic, "-*, halt,,", {"halt"}},
        {ipaex_gothic, "*", {"fwid", "hwid", "nalt", "pwid", "ruby", "vert", "halt", "palt", "vhal", "vpal"}},
    };
    for (const auto& [path, list, expected] : cases) {
        std::vector<LayoutFeatureChange> changes;
        if (!list.empty()) {
            ASSERT_EQ(parse_layout_features(list, changes), std::nullopt);
        }
        EXPECT_EQ(
            feature_tags(std::string(subset_font(Font(path), punctuation, false, changes).bytes())), expected)
            << path << " " << list;
    }
}

}  // namespace
