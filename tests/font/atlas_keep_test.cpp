// An atlas made again over the one written before: the glyphs it had stay
// where they were, new ones go into free space, and a page that gains nothing
// keeps its bytes; what cannot be kept is packed anew, with a note.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "face.h"

namespace {

using namespace charlib;
using namespace charlib::testing;

std::u32string han(char32_t first, std::size_t count)
{
    std::u32string set;
    for (std::size_t i = 0; i < count; ++i)
        set += static_cast<char32_t>(first + i);
    return set;
}

// The atlas's files in the folder, as charlib-cli writes them.
std::filesystem::path write_atlas(const TempDir& dir, const Atlas& atlas, AtlasFormat format)
{
    for (std::size_t i = 0; i < atlas.pages.size(); ++i)
        dir.write(atlas.font.page_files[i], atlas.pages[i]);
    return dir.write(format == AtlasFormat::Json ? "game.json" : "game.fnt", atlas.descriptor);
}

std::shared_ptr<const EarlierAtlas> read_back(const std::filesystem::path& descriptor)
{
    std::optional<EarlierAtlas> earlier = read_earlier_atlas(descriptor);
    EXPECT_TRUE(earlier && !earlier->unusable);
    return std::make_shared<const EarlierAtlas>(std::move(*earlier));
}

TEST(AtlasKeep, KeptGlyphsStayNewOnesTakeFreeSpaceAndUntouchedPagesKeepTheirBytes)
{
    struct Case {
        AtlasFormat format;
        bool mono, sdf;
        unsigned padding;
    };
    const Case cases[] = {{AtlasFormat::Text, false, false, 1}, {AtlasFormat::Xml, true, false, 2},
        {AtlasFormat::Json, false, true, 1}, {AtlasFormat::Binary, false, false, 0}};
    const Font font(microhei);
    // 160 characters on pages of 128×128; then 40 go and 12 new ones come, as after an edit.
    const std::u32string before = U"Ag " + han(0x4E00, 160);
    const std::u32string after = U"Ag " + han(0x4E00 + 40, 120) + han(0x5000, 12);
    for (const Case& row : cases) {
        SCOPED_TRACE(static_cast<int>(row.format));
        AtlasOptions options;
        options.size = 16;
        options.page_width = options.page_height = 128;
        options.format = row.format;
        options.mono = row.mono;
        options.sdf = row.sdf;
        options.padding = row.padding;
        const TempDir dir;
        const Atlas first = render_atlas(font, before, options, "game");
        options.earlier = read_back(write_atlas(dir, first, row.format));
        const Atlas second = render_atlas(font, after, options, "game");
        EXPECT_TRUE(second.notes.empty()) << described(second.notes.front());
        options.earlier = nullptr;
        const Atlas fresh = render_atlas(font, after, options, "game");

        std::map<char32_t, AtlasChar> was, drawn;
        for (const AtlasChar& glyph : first.font.chars)
            was[glyph.id] = glyph;
        for (const AtlasChar& glyph : fresh.font.chars)
            drawn[glyph.id] = glyph;
        std::vector<bool> gained(second.pages.size());
        const unsigned side = 128, pad = row.padding;
        std::vector<Picture> pages, fresh_pages;
        for (const std::string& png : second.pages)
            pages.push_back(decode_png(png, 2, 1));
        for (const std::string& png : fresh.pages)
            fresh_pages.push_back(decode_png(png, 2, 1));
        std::vector<int> owner(second.pages.size() * side * side, 0);
        ASSERT_EQ(second.font.chars.size(), fresh.font.chars.size());
        for (const AtlasChar& glyph : second.font.chars) {
            const auto earlier = was.find(glyph.id);
            if (earlier != was.end()) {
                const AtlasChar& old = earlier->second;
                EXPECT_TRUE(std::tuple(glyph.x, glyph.y, glyph.width, glyph.height, glyph.page) ==
                    std::tuple(old.x, old.y, old.width, old.height, old.page))
                    << "moved: U+" << std::hex << unsigned(glyph.id);
            } else if (glyph.width > 0) {
                gained[glyph.page] = true;
            }
            if (glyph.width == 0) continue;
            // Within the page with its padding, on no other glyph's padded rectangle, and
            // drawn as a fresh atlas draws it, its padding clear.
            ASSERT_TRUE(glyph.x >= pad && glyph.y >= pad && glyph.x + glyph.width + pad <= side &&
                glyph.y + glyph.height + pad <= side && glyph.page < pages.size());
            const AtlasChar& model = drawn.at(glyph.id);
            for (unsigned y = glyph.y - pad; y < glyph.y + glyph.height + pad; ++y)
                for (unsigned x = glyph.x - pad; x < glyph.x + glyph.width + pad; ++x) {
                    ASSERT_EQ(owner[(glyph.page * side + y) * side + x]++, 0)
                        << "overlap at U+" << std::hex << unsigned(glyph.id);
                    const bool inside = x >= glyph.x && x < glyph.x + glyph.width && y >= glyph.y &&
                        y < glyph.y + glyph.height;
                    const unsigned char expected = inside
                        ? fresh_pages[model.page]
                              .values[(model.y + y - glyph.y) * side + model.x + x - glyph.x]
                        : 0;
                    ASSERT_EQ(pages[glyph.page].values[y * side + x], expected)
                        << "U+" << std::hex << unsigned(glyph.id) << (inside ? " drawn" : " padding");
                }
        }
        std::size_t same = 0;
        for (std::size_t i = 0; i < second.pages.size(); ++i) {
            if (i < first.pages.size() && !gained[i]) {
                EXPECT_EQ(second.pages[i], first.pages[i]) << "page " << i << " gained nothing";
                ++same;
            }
            EXPECT_EQ(second.font.page_files[i], "game_" + std::to_string(i) + ".png");
        }
        EXPECT_GE(same, 1u);
        // The new glyphs fit where the 40 were: no page is added.
        EXPECT_EQ(second.pages.size(), first.pages.size());
    }
}

TEST(AtlasKeep, WhatCannotBeKeptIsPackedAnewWithANote)
{
    const Font font(microhei);
    const std::u32string set = han(0x4E00, 60);
    AtlasOptions options;
    options.page_width = options.page_height = 128;
    const Atlas first = render_atlas(font, set, options, "game");
    ASSERT_GE(first.pages.size(), 2u);
    struct Case {
        const char* what;
        std::function<void(AtlasOptions&, const TempDir&)> change;
        const char* note;
    };
    const auto earlier_with = [&](const TempDir& dir, const std::function<void(EarlierAtlas&)>& edit) {
        std::optional<EarlierAtlas> earlier = read_earlier_atlas(dir.path() / "game.fnt");
        edit(*earlier);
        return std::make_shared<const EarlierAtlas>(std::move(*earlier));
    };
    const Case cases[] = {
        {"another size", [](AtlasOptions& o, const TempDir&) { o.size = 17; }, "atlas-settings-changed"},
        {"another padding", [](AtlasOptions& o, const TempDir&) { o.padding = 2; }, "atlas-settings-changed"},
        {"another page size", [](AtlasOptions& o, const TempDir&) { o.page_width = 256; },
            "atlas-settings-changed"},
        {"1-bit", [](AtlasOptions& o, const TempDir&) { o.mono = true; }, "atlas-settings-changed"},
        {"an automatic page outgrown",
            [&](AtlasOptions& o, const TempDir& dir) {
                o.page_auto = true;
                write_atlas(dir, render_atlas(font, han(0x4E00, 4), o, "game"), AtlasFormat::Text);
            },
            "atlas-page-outgrown page_width=64 page_height=32"},
        {"a distance field", [](AtlasOptions& o, const TempDir&) { o.sdf = true; }, "atlas-settings-changed"},
        {"a damaged descriptor",
            [](AtlasOptions&, const TempDir& dir) { dir.write("game.fnt", "info face=\"x\" size=1"); },
            "atlas-unreadable"},
        {"a page missing",
            [](AtlasOptions&, const TempDir& dir) { std::filesystem::remove(dir.path() / "game_1.png"); },
            "atlas-unreadable"},
        {"a page not a PNG",
            [](AtlasOptions&, const TempDir& dir) { dir.write("game_0.png", "not a picture"); },
            "atlas-unreadable"},
        {"a page of another size",
            [&](AtlasOptions&, const TempDir& dir) {
                AtlasOptions small = options;
                small.page_width = small.page_height = 64;
                dir.write("game_0.png", render_atlas(font, U"一", small, "game").pages[0]);
            },
            "atlas-unreadable"},
        {"a glyph on another's pixels",
            [&](AtlasOptions& o, const TempDir& dir) {
                o.earlier = earlier_with(dir, [](EarlierAtlas& e) {
                    e.font.chars[1].x = e.font.chars[0].x;
                    e.font.chars[1].y = e.font.chars[0].y;
                    e.font.chars[1].page = e.font.chars[0].page;
                });
            },
            "atlas-unreadable"},
        // A font of the same name whose outlines differ: the pixels under a glyph's rectangle tell.
        {"other outlines",
            [&](AtlasOptions& o, const TempDir& dir) {
                o.earlier = earlier_with(dir, [](EarlierAtlas& e) {
                    const AtlasChar& glyph = e.font.chars[5];
                    e.page_pixels[glyph.page].values[(glyph.y + 3) * 128 + glyph.x + 3] ^= 0x40;
                });
            },
            "atlas-font-changed character=U+4E05"},
        {"another advance",
            [&](AtlasOptions& o, const TempDir& dir) {
                o.earlier = earlier_with(dir, [](EarlierAtlas& e) { e.font.chars[7].xadvance += 1; });
            },
            "atlas-font-changed character=U+4E07"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        const TempDir dir;
        write_atlas(dir, first, AtlasFormat::Text);
        AtlasOptions changed = options;
        row.change(changed, dir);
        if (!changed.earlier) {
            std::optional<EarlierAtlas> earlier = read_earlier_atlas(dir.path() / "game.fnt");
            ASSERT_TRUE(earlier);
            changed.earlier = std::make_shared<const EarlierAtlas>(std::move(*earlier));
        }
        const Atlas again = render_atlas(font, set + han(0x5000, 2), changed, "game");
        ASSERT_EQ(again.notes.size(), 1u);
        EXPECT_EQ(described(again.notes[0]), row.note);
        changed.earlier = nullptr;
        const Atlas fresh = render_atlas(font, set + han(0x5000, 2), changed, "game");
        EXPECT_EQ(again.descriptor, fresh.descriptor);
        EXPECT_EQ(again.pages, fresh.pages);
    }
    EXPECT_FALSE(read_earlier_atlas(TempDir().path() / "game.fnt")) << "none there: a first atlas";
}

}  // namespace
