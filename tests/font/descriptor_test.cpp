// The descriptor's forms: the text form as it must read, the others read back
// by readers of their own (pugixml, nlohmann-json, the bytes decoded here);
// and the kerning pairs checked against HarfBuzz shaping each pair alone.
#include <gtest/gtest.h>

#include <hb-ot.h>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <array>
#include <cstring>
#include <functional>
#include <map>

#include "face.h"
#include "sfnt.h"

namespace {

using namespace charlib;
using namespace charlib::testing;

// What a descriptor says, as any of its forms says it.
struct Description {
    std::string face;
    std::array<long, 14> info{};  // size bold italic unicode stretchH smooth aa padding×4 spacing×2 outline
    std::array<long, 10> common{};  // lineHeight base scaleW scaleH pages packed alpha red green blue
    std::vector<std::string> pages;
    std::string field_type;
    long distance_range = 0;
    std::vector<std::array<long, 10>> chars;  // id x y width height xoffset yoffset xadvance page chnl
    std::vector<std::array<long, 3>> kernings;
    bool operator==(const Description&) const = default;
};

constexpr const char* info_names[] = {"size", "bold", "italic", "unicode", "stretchH", "smooth", "aa",
    "padding", "padding", "padding", "padding", "spacing", "spacing", "outline"};
constexpr const char* common_names[] = {"lineHeight", "base", "scaleW", "scaleH", "pages", "packed",
    "alphaChnl", "redChnl", "greenChnl", "blueChnl"};
constexpr const char* char_names[] = {
    "id", "x", "y", "width", "height", "xoffset", "yoffset", "xadvance", "page", "chnl"};
constexpr const char* kerning_names[] = {"first", "second", "amount"};

// Item `index` of a list such as "0,1,2".
long nth(const std::string& list, int index)
{
    std::size_t at = 0;
    while (index-- > 0)
        at = list.find(',', at) + 1;
    return std::stol(list.substr(at));
}

// The numbers named, a name repeated for the items of its list.
template <std::size_t N, typename ValueOf>
void fill(std::array<long, N>& numbers, const char* const (&names)[N], ValueOf value_of)
{
    for (std::size_t i = 0; i < N; ++i)
        numbers[i] = value_of(names[i], int(std::count(names, names + i, std::string_view(names[i]))));
}

Description read_xml(const std::string& xml)
{
    Description read;
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(xml.c_str()));
    const pugi::xml_node font = document.child("font");
    const auto of = [](const pugi::xml_node& node) {
        return [node](const char* name, int index) { return nth(node.attribute(name).value(), index); };
    };
    const pugi::xml_node info = font.child("info");
    read.face = info.attribute("face").value();
    fill(read.info, info_names, of(info));
    fill(read.common, common_names, of(font.child("common")));
    for (const pugi::xml_node& page : font.child("pages").children("page"))
        read.pages.push_back(page.attribute("file").value());
    if (const pugi::xml_node field = font.child("distanceField")) {
        read.field_type = field.attribute("fieldType").value();
        read.distance_range = field.attribute("distanceRange").as_int();
    }
    for (const pugi::xml_node& glyph : font.child("chars").children("char"))
        fill(read.chars.emplace_back(), char_names, of(glyph));
    EXPECT_EQ(font.child("chars").attribute("count").as_uint(), read.chars.size());
    for (const pugi::xml_node& pair : font.child("kernings").children("kerning"))
        fill(read.kernings.emplace_back(), kerning_names, of(pair));
    return read;
}

Description read_json(const std::string& text)
{
    Description read;
    const nlohmann::json json = nlohmann::json::parse(text);
    const auto of = [](const nlohmann::json& object) {
        return [&object](const char* name, int index) {
            const nlohmann::json& value = object.at(name);
            return (value.is_array() ? value.at(index) : value).get<long>();
        };
    };
    const nlohmann::json& info = json.at("info");
    read.face = info.at("face");
    fill(read.info, info_names, of(info));
    EXPECT_EQ(info.at("charset"), nlohmann::json::array());
    fill(read.common, common_names, of(json.at("common")));
    read.pages = json.at("pages").get<std::vector<std::string>>();
    if (json.contains("distanceField")) {
        read.field_type = json.at("distanceField").at("fieldType");
        read.distance_range = json.at("distanceField").at("distanceRange");
    }
    for (const nlohmann::json& glyph : json.at("chars")) {
        fill(read.chars.emplace_back(), char_names, of(glyph));
        const std::map<long, std::string> utf8 = {{65, "A"}, {0x4E2D, "\xE4\xB8\xAD"}, {32, " "}};
        EXPECT_EQ(glyph.at("char"), utf8.at(glyph.at("id")));
    }
    for (const nlohmann::json& pair : json.at("kernings"))
        fill(read.kernings.emplace_back(), kerning_names, of(pair));
    return read;
}

Description read_binary(const std::string& bytes)
{
    Description read;
    EXPECT_EQ(bytes.substr(0, 4), std::string("BMF\3"));
    const auto number = [&](std::size_t at, int size, bool is_signed) {
        unsigned long value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
        return is_signed && value >> (8 * size - 1) ? long(value) - (1L << 8 * size) : long(value);
    };
    for (std::size_t at = 4; at < bytes.size();) {
        const int type = bytes.at(at);
        const std::size_t size = number(at + 1, 4, true), block = at + 5;
        if (type == 1) {
            const int bits = static_cast<unsigned char>(bytes.at(block + 2));
            read.info = {number(block, 2, true), bits >> 4 & 1, bits >> 5 & 1, bits >> 6 & 1,
                number(block + 4, 2, false), bits >> 7 & 1};
            for (int i = 6; i < 14; ++i)
                read.info[i] = number(block + i, 1, false);  // aa, padding, spacing, outline
            EXPECT_EQ(bits & 0x0F, 0);
            EXPECT_EQ(bytes.at(block + 3), 0) << "charset";
            read.face = bytes.c_str() + block + 14;
            EXPECT_EQ(size, 14 + read.face.size() + 1);
        } else if (type == 2) {
            EXPECT_EQ(size, 15u);
            for (int i = 0; i < 5; ++i)
                read.common[i] = number(block + 2 * i, 2, false);
            for (int i = 5; i < 10; ++i)
                read.common[i] = number(block + 5 + i, 1, false);
        } else if (type == 3) {
            const std::size_t length = std::strlen(bytes.c_str() + block) + 1;
            for (std::size_t page = block; page < block + size; page += length)
                read.pages.push_back(bytes.c_str() + page);
        } else if (type == 4) {
            for (std::size_t glyph = block; glyph < block + size; glyph += 20)
                read.chars.push_back({number(glyph, 4, false), number(glyph + 4, 2, false),
                    number(glyph + 6, 2, false), number(glyph + 8, 2, false), number(glyph + 10, 2, false),
                    number(glyph + 12, 2, true), number(glyph + 14, 2, true), number(glyph + 16, 2, true),
                    number(glyph + 18, 1, false), number(glyph + 19, 1, false)});
        } else {
            EXPECT_EQ(type, 5);
            for (std::size_t pair = block; pair < block + size; pair += 10)
                read.kernings.push_back(
                    {number(pair, 4, false), number(pair + 4, 4, false), number(pair + 8, 2, true)});
        }
        at = block + size;
    }
    return read;
}

BitmapFont sample_font()
{
    BitmapFont font;
    font.face = "Tom \"&\" <Jerry's>";
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

TEST(Descriptor, XmlJsonAndBinarySayTheSame)
{
    const BitmapFont font = sample_font();
    Description expected{font.face, {24, 0, 0, 1, 100, 1, 1, 0, 0, 0, 0, 2, 2, 0},
        {30, 24, 256, 128, 2, 0, 0, 4, 4, 4}, font.page_files, "sdf", 8,
        {{65, 3, 4, 10, 12, 1, 5, 11, 0, 15}, {0x4E2D, 200, 100, 22, 23, -1, 2, 24, 1, 15},
            {32, 0, 0, 0, 0, 0, 0, 6, 0, 15}},
        {{65, 86, -2}, {0x4E2D, 65, 1}}};
    EXPECT_EQ(read_xml(write_descriptor(font, AtlasFormat::Xml)), expected);
    EXPECT_EQ(read_json(write_descriptor(font, AtlasFormat::Json)), expected);
    expected.field_type.clear();  // the binary form has no place for it
    expected.distance_range = 0;
    EXPECT_EQ(read_binary(write_descriptor(font, AtlasFormat::Binary)), expected);
}

TEST(Descriptor, TextFormIsBMFontsWithTheFieldAndKerningLinesOnlyWhenThere)
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

TEST(Descriptor, BinaryRefusesWhatItsFieldsCannotHold)
{
    const std::pair<std::function<void(BitmapFont&)>, std::string> cases[] = {
        {[](BitmapFont& font) {
             for (int page = 2; page <= 10; ++page)
                 font.page_files.push_back("game_" + std::to_string(page) + ".png");
         },
            "的页面文件名长短不一（“game_0.png”与“game_10.png”）"},
        {[](BitmapFont& font) { font.page_width = 65536; },
            "的页面宽度是 65536，超出二进制描述文件能写下的 0 到 65535"},
        {[](BitmapFont& font) { font.chars[1].page = 256; }, "的字符 U+4E2D 的页号是 256"},
        {[](BitmapFont& font) { font.chars[0].xoffset = -40000; }, "的字符 U+0041 的横向偏移是 -40000"},
        {[](BitmapFont& font) { font.kernings[0].amount = 32768; },
            "的字符 U+0041 与 U+0056 的字偶距是 32768"},
    };
    for (const auto& [change, reason] : cases) {
        BitmapFont font = sample_font();
        change(font);
        EXPECT_NO_THROW(write_descriptor(font, AtlasFormat::Json));
        EXPECT_PRED_FORMAT2(
            ::testing::IsSubstring, reason, error_of([&] { write_descriptor(font, AtlasFormat::Binary); }));
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
