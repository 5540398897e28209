// The descriptor's four forms, each as it must read, and the kerning pairs
// checked against HarfBuzz shaping each pair alone.
#include <gtest/gtest.h>

#include <hb-ot.h>
#include <nlohmann/json.hpp>

#include <array>
#include <functional>

#include "face.h"
#include "sfnt.h"

namespace {

using namespace charlib;
using namespace charlib::testing;

BitmapFont sample_font()
{
    BitmapFont font;
    font.face = "Tom \"&\"\n<Jerry's>";  // the line break would end a line of the text form
    font.size = 24;
    font.spacing = 2;
    font.line_height = 30;
    font.base = 24;
    font.page_width = 256;
    font.page_height = 128;
    font.page_files = {"game_0.png", "game_1.png"};
    font.chars = {{U'A', 3, 4, 10, 12, 1, 5, 11, 0}, {U'中', 200, 100, 22, 23, -1, 2, 24, 1},
        {U' ', 0, 0, 0, 0, 0, 0, 6, 0}};
    font.kernings = {{U'A', U'V', -2}, {U'中', U'A', 1}};
    font.distance_range = 8;
    return font;
}

// Word for word: libGDX's reader, for one, takes the lines and words by place.
TEST(Descriptor, TextFormHasTheFieldAndKerningLinesOnlyWhenThere)
{
    BitmapFont font = sample_font();
    const std::string head =  // no way to quote a double quote
        "info face=\"Tom '&' <Jerry's>\" size=24 bold=0 italic=0 charset=\"\" unicode=1 stretchH=100 "
        "smooth=1 aa=1 padding=0,0,0,0 spacing=2,2 outline=0\n"
        "common lineHeight=30 base=24 scaleW=256 scaleH=128 pages=2 packed=0 "
        "alphaChnl=0 redChnl=4 greenChnl=4 blueChnl=4\n"
        "page id=0 file=\"game_0.png\"\npage id=1 file=\"game_1.png\"\n";
    const std::string chars =
        "chars count=3\n"
        "char id=65 x=3 y=4 width=10 height=12 xoffset=1 yoffset=5 xadvance=11 page=0 chnl=15\n"
        "char id=20013 x=200 y=100 width=22 height=23 xoffset=-1 yoffset=2 xadvance=24 page=1 chnl=15\n"
        "char id=32 x=0 y=0 width=0 height=0 xoffset=0 yoffset=0 xadvance=6 page=0 chnl=15\n";
    EXPECT_EQ(write_descriptor(font, AtlasFormat::Text),
        head + "distanceField fieldType=\"sdf\" distanceRange=8\n" + chars +
            "kernings count=2\nkerning first=65 second=86 amount=-2\n"
            "kerning first=20013 second=65 amount=1\n");
    font.distance_range = 0;
    font.kernings.clear();
    EXPECT_EQ(write_descriptor(font, AtlasFormat::Text), head + chars);
}

TEST(Descriptor, XmlAndJsonFormsSayWhatTheTextFormSays)
{
    const BitmapFont font = sample_font();
    EXPECT_EQ(write_descriptor(font, AtlasFormat::Xml),
        R"(<?xml version="1.0"?>
<font>
  <info face="Tom &quot;&amp;&quot; &lt;Jerry&#39;s&gt;" size="24" bold="0" italic="0" charset="" unicode="1" )"
        R"(stretchH="100" smooth="1" aa="1" padding="0,0,0,0" spacing="2,2" outline="0"/>
  <common lineHeight="30" base="24" scaleW="256" scaleH="128" pages="2" packed="0" alphaChnl="0" redChnl="4" )"
        R"(greenChnl="4" blueChnl="4"/>
  <pages>
    <page id="0" file="game_0.png"/>
    <page id="1" file="game_1.png"/>
  </pages>
  <distanceField fieldType="sdf" distanceRange="8"/>
  <chars count="3">
    <char id="65" x="3" y="4" width="10" height="12" xoffset="1" yoffset="5" xadvance="11" page="0" chnl="15"/>
    <char id="20013" x="200" y="100" width="22" height="23" xoffset="-1" yoffset="2" xadvance="24" page="1" )"
        R"(chnl="15"/>
    <char id="32" x="0" y="0" width="0" height="0" xoffset="0" yoffset="0" xadvance="6" page="0" chnl="15"/>
  </chars>
  <kernings count="2">
    <kerning first="65" second="86" amount="-2"/>
    <kerning first="20013" second="65" amount="1"/>
  </kernings>
</font>
)");
    EXPECT_EQ(nlohmann::json::parse(write_descriptor(font, AtlasFormat::Json)), nlohmann::json::parse(R"({
        "pages": ["game_0.png", "game_1.png"],
        "chars": [
            {"id": 65, "char": "A", "x": 3, "y": 4, "width": 10, "height": 12, "xoffset": 1, "yoffset": 5,
                "xadvance": 11, "page": 0, "chnl": 15},
            {"id": 20013, "char": "中", "x": 200, "y": 100, "width": 22, "height": 23, "xoffset": -1,
                "yoffset": 2, "xadvance": 24, "page": 1, "chnl": 15},
            {"id": 32, "char": " ", "x": 0, "y": 0, "width": 0, "height": 0, "xoffset": 0, "yoffset": 0,
                "xadvance": 6, "page": 0, "chnl": 15}],
        "info": {"face": "Tom \"&\" <Jerry's>", "size": 24, "bold": 0, "italic": 0, "charset": [], "unicode": 1,
            "stretchH": 100, "smooth": 1, "aa": 1, "padding": [0, 0, 0, 0], "spacing": [2, 2], "outline": 0},
        "common": {"lineHeight": 30, "base": 24, "scaleW": 256, "scaleH": 128, "pages": 2, "packed": 0,
            "alphaChnl": 0, "redChnl": 4, "greenChnl": 4, "blueChnl": 4},
        "distanceField": {"fieldType": "sdf", "distanceRange": 8},
        "kernings": [{"first": 65, "second": 86, "amount": -2}, {"first": 20013, "second": 65, "amount": 1}]})"));
}

// Bytes written as hexadecimal digits, spaces between them left out.
std::string from_hex(std::string_view digits)
{
    std::string bytes;
    for (std::size_t at = 0; at < digits.size(); at += digits[at] == ' ' ? 1 : 2)
        if (digits[at] != ' ') bytes += char(std::stoi(std::string(digits.substr(at, 2)), nullptr, 16));
    return bytes;
}

TEST(Descriptor, BinaryFormSaysItInBMFontsBlocks)
{
    // Each block its type, its size in 4 bytes, then its fields, little-endian.
    EXPECT_EQ(write_descriptor(sample_font(), AtlasFormat::Binary),
        from_hex(
            "424D4603"  // BMF, version 3
                        // info: size 24, smooth and Unicode, charset 0, stretchH 100, aa 1, padding 0 0 0 0,
                        // spacing 2 2, outline 0, the face
            " 01 20000000 1800 C0 00 6400 01 00000000 0202 00 546F6D2022262220 3C4A6572727927733E00"
            // common: lineHeight 30, base 24, 256×128, 2 pages, not packed, alpha 0, red green blue 4
            " 02 0F000000 1E00 1800 0001 8000 0200 00 00 040404"
            " 03 16000000 67616D655F302E706E6700 67616D655F312E706E6700"  // game_0.png, game_1.png
            // chars: id x y width height xoffset yoffset xadvance page chnl
            " 04 3C000000 41000000 0300 0400 0A00 0C00 0100 0500 0B00 00 0F"
            " 2D4E0000 C800 6400 1600 1700 FFFF 0200 1800 01 0F"
            " 20000000 0000 0000 0000 0000 0000 0000 0600 00 0F"
            " 05 14000000 41000000 56000000 FEFF 2D4E0000 41000000 0100"));  // kernings: first second amount
}

// --atlas-keep reads the descriptor back: each form as written, and what is
// cut short or malformed as nothing, never as a crash.
TEST(Descriptor, EachFormReadsBackAsWrittenAndDamageReadsAsNothing)
{
    for (const AtlasFormat format : {AtlasFormat::Text, AtlasFormat::Xml, AtlasFormat::Json, AtlasFormat::Binary}) {
        const std::string written = write_descriptor(sample_font(), format);
        const std::optional<BitmapFont> read = read_descriptor(written);
        ASSERT_TRUE(read) << static_cast<int>(format);
        EXPECT_EQ(write_descriptor(*read, format), written);
        for (std::size_t cut = 0; cut < written.size(); ++cut)
            if (const std::optional<BitmapFont> part = read_descriptor(written.substr(0, cut)))
                EXPECT_EQ(part->page_files.size(), 2u) << "a font says how many pages it has";
    }
    for (const char* malformed : {"", "info face=\"x\" size=24\n", "{\"pages\": 3}", "[1]", "<font>\n</font>\n",
             "info size=24 smooth=1 spacing=1,1\ncommon lineHeight=9 base=7 scaleW=8 scaleH=8 pages=1\n"
             "page id=0 file=\"a.png\"\nchar id=65 x=-1 y=0 width=1 height=1 xoffset=0 yoffset=0 xadvance=1 "
             "page=0\n"})
        EXPECT_FALSE(read_descriptor(malformed)) << malformed;
}

TEST(Descriptor, BinaryRefusesWhatItsFieldsCannotHold)
{
    const std::pair<std::function<void(BitmapFont&)>, std::string> cases[] = {
        {[](BitmapFont& font) {
             for (int page = 2; page <= 10; ++page)
                 font.page_files.push_back("game_" + std::to_string(page) + ".png");
         },
            "page-names-differ face=" + sample_font().face + " first=game_0.png file=game_10.png"},
        {[](BitmapFont& font) { font.page_width = 65536; }, "field=page-width value=65536 low=0 high=65535"},
        {[](BitmapFont& font) { font.chars[1].page = 256; },
            "field=page value=256 low=0 high=255 character=U+4E2D"},
        {[](BitmapFont& font) { font.chars[0].xoffset = -40000; },
            "field=xoffset value=-40000 low=-32768 high=32767 character=U+0041"},
        {[](BitmapFont& font) { font.kernings[0].amount = 32768; },
            "field=amount value=32768 low=-32768 high=32767 character=U+0041 second=U+0056"},
    };
    for (const auto& [change, reason] : cases) {
        BitmapFont font = sample_font();
        change(font);
        EXPECT_NO_THROW(write_descriptor(font, AtlasFormat::Json));
        EXPECT_PRED_FORMAT2(
            ::testing::IsSubstring, reason, failure_of([&] { write_descriptor(font, AtlasFormat::Binary); }));
    }
}

TEST(Descriptor, PageFileNamesAFormCannotHoldAreRefused)
{
    const struct {
        std::string file;
        AtlasFormat format;
        std::string refused;  // empty: written
    } cases[] = {
        {"a\x01.png", AtlasFormat::Json, "page-name-control"},
        {"a\x7F.png", AtlasFormat::Xml, "page-name-control"},
        {"a\".png", AtlasFormat::Text, "page-name-quote"},
        {"a\".png", AtlasFormat::Json, ""},
        {"a\tb.png", AtlasFormat::Binary, "page-name-control"},
    };
    for (const auto& c : cases) {
        BitmapFont font = sample_font();
        font.page_files = {c.file};
        const std::string got = failure_of([&] { write_descriptor(font, c.format); });
        EXPECT_EQ(c.refused.empty() ? got : got.substr(0, got.find(' ')), c.refused.empty() ? "(no failure)" : c.refused) << c.file;
    }
}

// What HarfBuzz adds to the pair's advance with kerning on, each pair of the
// set shaped alone at the size, in whole pixels: first, second, amount.
using Pairs = std::vector<std::array<long, 3>>;
Pairs shaped_pairs(const std::filesystem::path& path, std::u32string set, int size)
{
    hb_blob_t* blob = hb_blob_create_from_file(path.c_str());
    hb_face_t* face = hb_face_create(blob, 0);
    hb_font_t* font = hb_font_create(face);
    hb_font_set_scale(font, size * 64, size * 64);
    hb_font_set_ppem(font, size, size);
    const auto advance = [&](char32_t first, char32_t second, bool kern) {
        hb_buffer_t* buffer = hb_buffer_create();
        const std::uint32_t text[] = {first, second};
        hb_buffer_add_utf32(buffer, text, 2, 0, 2);
        hb_buffer_guess_segment_properties(buffer);
        const hb_feature_t feature{HB_TAG('k', 'e', 'r', 'n'), kern, 0, ~0u};
        hb_shape(font, buffer, &feature, 1);
        const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, nullptr);
        const int sum = positions[0].x_advance + positions[1].x_advance;
        hb_buffer_destroy(buffer);
        return sum;
    };
    Pairs pairs;
    std::sort(set.begin(), set.end());
    for (char32_t first : set)
        for (char32_t second : set)
            if (const long amount =
                    std::lround((advance(first, second, true) - advance(first, second, false)) / 64.0))
                pairs.push_back({long(first), long(second), amount});
    hb_font_destroy(font);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    return pairs;
}

Pairs pairs_of(const std::vector<KerningPair>& kernings)
{
    Pairs pairs;
    for (const KerningPair& pair : kernings)
        pairs.push_back({long(pair.first), long(pair.second), pair.amount});
    return pairs;
}

TEST(Kerning, PairsAreHarfBuzzsAdvanceDifferencesOfThePairsTheFontKerns)
{
    const Font font(microhei);
    const std::u32string latin = U"AVTWYaoe.,";
    const Pairs pairs = pairs_of(kerning_pairs(font, latin, 32));
    EXPECT_EQ(pairs, shaped_pairs(microhei, latin, 32));
    EXPECT_TRUE(std::any_of(pairs.begin(), pairs.end(),
        [](const auto& pair) { return pair[0] == 'A' && pair[1] == 'V' && pair[2] < 0; }));
    EXPECT_TRUE(kerning_pairs(font, U"中文字，。", 32).empty());
    EXPECT_TRUE(kerning_pairs(Font(inconsolata), latin, 32).empty());
    // An atlas has its set's pairs, and none with kerning off.
    AtlasOptions options;
    options.size = 32;
    EXPECT_EQ(pairs_of(render_atlas(font, U"AV", options, "x").font.kernings),
        pairs_of(kerning_pairs(font, U"AV", 32)));
    options.kerning = false;
    EXPECT_TRUE(render_atlas(font, U"AV", options, "x").font.kernings.empty());
}

// The font with a `kern` table of format-0 pairs in place of its GPOS table,
// whose kerning HarfBuzz would apply instead.
std::string with_kern_table(const std::string& font, const std::vector<std::array<int, 3>>& pairs)
{
    std::string kern;
    const int n = int(pairs.size());
    for (int value : {0, 1, 0, 14 + 6 * n, 0x0001, n, 6, 0, 0})  // one horizontal subtable
        kern += {char(value >> 8), char(value)};
    for (const auto& pair : pairs)
        for (int value : pair)
            kern += {char(value >> 8), char(value)};
    return sfnt::with_table(font, "GPOS", kern, "kern");
}

TEST(Kerning, LegacyKernTablePairsAreFound)
{
    TempDir dir;
    const std::string cut(subset_font(Font(microhei), U"AVT", false).bytes());
    const Face subset(cut);
    const auto glyph = [&](char32_t c) { return int(FT_Get_Char_Index(subset.face, c)); };
    const auto path = dir.write(
        "kern.ttf", with_kern_table(cut, {{glyph('A'), glyph('V'), -300}, {glyph('V'), glyph('T'), 200}}));
    const Pairs pairs = pairs_of(kerning_pairs(Font(path), U"TVA", 20));
    EXPECT_EQ(pairs, shaped_pairs(path, U"TVA", 20));
    EXPECT_EQ(pairs.size(), 2u);
}

}  // namespace
