#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/utf.h"
#include "escape.h"
#include "font/font.h"
#include "glyphs.h"

namespace charlib {

namespace {

// What every atlas says the same way: white pixels with the glyph in the
// alpha channel, all four channels of the page used by each glyph.
constexpr unsigned stretch = 100, alpha_channel = 0, colour_channel = 4, glyph_channels = 15;

// The face as readers can take it: well-formed UTF-8 (ill-formed bytes as
// U+FFFD) with no control characters, which would end a line of the text form
// or make the XML ill-formed.
std::string clean_face(const std::string& face)
{
    std::u32string characters;
    decode_utf8(face, true, characters);
    for (char32_t& c : characters)
        if (c < 0x20 || c == 0x7F || c == 0xFFFE || c == 0xFFFF) c = U' ';
    return to_utf8(characters);
}

// Page files are named by the caller: refused when a form cannot hold the name.
void check_page_files(const BitmapFont& font, AtlasFormat format)
{
    for (const std::string& file : font.page_files) {
        const bool control = std::any_of(file.begin(), file.end(),
            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
        if (control || (format == AtlasFormat::Text && file.find('"') != std::string::npos))
            throw Failure(
                control ? Code::PageNameControl : Code::PageNameQuote, {{"face", font.face}, {"file", file}});
    }
}

// One attribute of a tag, written as BMFont writes it in the text form:
// the face, the character set and page files in quotes, numbers bare.
struct Attribute {
    const char* name;
    std::string value;
    bool quoted = false;
};
using Attributes = std::vector<Attribute>;

std::string number(long long value)
{
    return std::to_string(value);
}

Attributes info_fields(const BitmapFont& font, const std::string& face)
{
    const std::string smooth = font.smooth ? "1" : "0", spacing = number(font.spacing);
    return {{"face", face, true}, {"size", number(font.size)}, {"bold", "0"}, {"italic", "0"},
        {"charset", "", true}, {"unicode", "1"}, {"stretchH", number(stretch)}, {"smooth", smooth},
        {"aa", smooth}, {"padding", "0,0,0,0"}, {"spacing", spacing + "," + spacing}, {"outline", "0"}};
}

Attributes common_fields(const BitmapFont& font)
{
    const std::string colour = number(colour_channel);
    return {{"lineHeight", number(font.line_height)}, {"base", number(font.base)},
        {"scaleW", number(font.page_width)}, {"scaleH", number(font.page_height)},
        {"pages", number(static_cast<long long>(font.page_files.size()))}, {"packed", "0"},
        {"alphaChnl", number(alpha_channel)}, {"redChnl", colour}, {"greenChnl", colour},
        {"blueChnl", colour}};
}

Attributes page_fields(std::size_t id, const std::string& file)
{
    return {{"id", number(static_cast<long long>(id))}, {"file", file, true}};
}

// Where the tools that write distance-field BMFont put it, and what loaders
// such as PixiJS read. The type is a word, quoted in the text form: readers
// such as parse-bmfont-ascii take a bare value for a number.
Attributes distance_field_fields(const BitmapFont& font)
{
    return {{"fieldType", "sdf", true}, {"distanceRange", number(font.distance_range)}};
}

Attributes char_fields(const AtlasChar& glyph)
{
    return {{"id", number(glyph.id)}, {"x", number(glyph.x)}, {"y", number(glyph.y)},
        {"width", number(glyph.width)}, {"height", number(glyph.height)}, {"xoffset", number(glyph.xoffset)},
        {"yoffset", number(glyph.yoffset)}, {"xadvance", number(glyph.xadvance)},
        {"page", number(glyph.page)}, {"chnl", number(glyph_channels)}};
}

Attributes kerning_fields(const KerningPair& pair)
{
    return {{"first", number(pair.first)}, {"second", number(pair.second)}, {"amount", number(pair.amount)}};
}

std::string text_line(const char* tag, const Attributes& fields)
{
    std::string line = tag;
    for (const Attribute& field : fields)
        line +=
            std::string(" ") + field.name + "=" + (field.quoted ? "\"" + field.value + "\"" : field.value);
    return line + "\n";
}

std::string text_descriptor(const BitmapFont& font)
{
    // A quoted value of the text form cannot hold a double quote, nor escape
    // one: a face named with them keeps single quotes instead.
    std::string face = clean_face(font.face);
    std::replace(face.begin(), face.end(), '"', '\'');
    std::string fnt = text_line("info", info_fields(font, face)) + text_line("common", common_fields(font));
    for (std::size_t i = 0; i < font.page_files.size(); ++i)
        fnt += text_line("page", page_fields(i, font.page_files[i]));
    if (font.distance_range > 0) fnt += text_line("distanceField", distance_field_fields(font));
    fnt += text_line("chars", {{"count", number(static_cast<long long>(font.chars.size()))}});
    for (const AtlasChar& glyph : font.chars)
        fnt += text_line("char", char_fields(glyph));
    if (!font.kernings.empty()) {
        fnt += text_line("kernings", {{"count", number(static_cast<long long>(font.kernings.size()))}});
        for (const KerningPair& pair : font.kernings)
            fnt += text_line("kerning", kerning_fields(pair));
    }
    return fnt;
}


// "<tag a="1" b="2"/>", or without the slash to open an element.
std::string xml_tag(const char* indent, const char* tag, const Attributes& fields, bool empty = true)
{
    std::string line = std::string(indent) + "<" + tag;
    for (const Attribute& field : fields)
        line += std::string(" ") + field.name + "=\"" + xml_escaped(field.value) + "\"";
    return line + (empty ? "/>\n" : ">\n");
}

std::string xml_descriptor(const BitmapFont& font)
{
    std::string xml = "<?xml version=\"1.0\"?>\n<font>\n";
    xml += xml_tag("  ", "info", info_fields(font, clean_face(font.face)));
    xml += xml_tag("  ", "common", common_fields(font));
    xml += "  <pages>\n";
    for (std::size_t i = 0; i < font.page_files.size(); ++i)
        xml += xml_tag("    ", "page", page_fields(i, font.page_files[i]));
    xml += "  </pages>\n";
    if (font.distance_range > 0) xml += xml_tag("  ", "distanceField", distance_field_fields(font));
    xml += xml_tag("  ", "chars", {{"count", number(static_cast<long long>(font.chars.size()))}}, false);
    for (const AtlasChar& glyph : font.chars)
        xml += xml_tag("    ", "char", char_fields(glyph));
    xml += "  </chars>\n";
    if (!font.kernings.empty()) {
        xml += xml_tag(
            "  ", "kernings", {{"count", number(static_cast<long long>(font.kernings.size()))}}, false);
        for (const KerningPair& pair : font.kernings)
            xml += xml_tag("    ", "kerning", kerning_fields(pair));
        xml += "  </kernings>\n";
    }
    return xml + "</font>\n";
}

std::string json_descriptor(const BitmapFont& font)
{
    using Json = nlohmann::ordered_json;
    Json chars = Json::array(), kernings = Json::array();
    for (const AtlasChar& glyph : font.chars) {
        const bool scalar = glyph.id < 0xD800 || (glyph.id > 0xDFFF && glyph.id <= 0x10FFFF);
        chars.push_back({{"id", static_cast<std::uint32_t>(glyph.id)},
            {"char", to_utf8(std::u32string(1, scalar ? glyph.id : U'\uFFFD'))}, {"width", glyph.width},
            {"height", glyph.height}, {"xoffset", glyph.xoffset}, {"yoffset", glyph.yoffset},
            {"xadvance", glyph.xadvance}, {"chnl", glyph_channels}, {"x", glyph.x}, {"y", glyph.y},
            {"page", glyph.page}});
    }
    for (const KerningPair& pair : font.kernings)
        kernings.push_back({{"first", static_cast<std::uint32_t>(pair.first)},
            {"second", static_cast<std::uint32_t>(pair.second)}, {"amount", pair.amount}});
    const unsigned smooth = font.smooth ? 1 : 0;
    const Json info = {{"face", clean_face(font.face)}, {"size", font.size}, {"bold", 0}, {"italic", 0},
        {"charset", Json::array()}, {"unicode", 1}, {"stretchH", stretch}, {"smooth", smooth}, {"aa", smooth},
        {"padding", {0, 0, 0, 0}}, {"spacing", {font.spacing, font.spacing}}, {"outline", 0}};
    const Json common = {{"lineHeight", font.line_height}, {"base", font.base}, {"scaleW", font.page_width},
        {"scaleH", font.page_height}, {"pages", font.page_files.size()}, {"packed", 0},
        {"alphaChnl", alpha_channel}, {"redChnl", colour_channel}, {"greenChnl", colour_channel},
        {"blueChnl", colour_channel}};

    // A member a line, and a char or a kerning pair a line: small, yet readable.
    const auto dump = [](const Json& value) {
        return value.dump(-1, ' ', false, Json::error_handler_t::replace);
    };
    const auto list = [&](const Json& items) {
        if (items.empty()) return std::string("[]");
        std::string text = "[";
        for (std::size_t i = 0; i < items.size(); ++i)
            text += (i == 0 ? "\n    " : ",\n    ") + dump(items[i]);
        return text + "\n  ]";
    };
    std::string json = "{\n  \"pages\": " + dump(font.page_files) + ",\n  \"chars\": " + list(chars) +
        ",\n  \"info\": " + dump(info) + ",\n  \"common\": " + dump(common);
    if (font.distance_range > 0)
        json +=
            ",\n  \"distanceField\": " + dump({{"fieldType", "sdf"}, {"distanceRange", font.distance_range}});
    return json + ",\n  \"kernings\": " + list(kernings) + "\n}\n";
}

// Little-endian fields of BMFont's binary form, refusing values they cannot
// hold: the field is named by its id, with the character (or the pair) whose
// it is.
class BinaryWriter {
public:
    explicit BinaryWriter(const BitmapFont& font) : font_(font) { }

    void field(long long value, unsigned size, bool is_signed, std::string_view id)
    {
        const long long bits = 8 * size;
        const long long low = is_signed ? -(1LL << (bits - 1)) : 0;
        const long long high = is_signed ? (1LL << (bits - 1)) - 1 : (1LL << bits) - 1;
        if (value < low || value > high) {
            Outcome refused(Code::DescriptorFieldOutOfRange,
                {{"face", font_.face}, {"field", std::string(id)}, {"value", std::int64_t{value}},
                    {"low", std::int64_t{low}}, {"high", std::int64_t{high}}});
            if (first_) refused.with("character", *first_);
            if (second_) refused.with("second", *second_);
            throw Failure(std::move(refused));
        }
        const auto bytes = static_cast<unsigned long long>(value);
        for (unsigned i = 0; i < size; ++i)
            bytes_ += static_cast<char>(bytes >> (8 * i) & 0xFF);
    }
    void u8(long long value, std::string_view id) { field(value, 1, false, id); }
    void u16(long long value, std::string_view id) { field(value, 2, false, id); }
    void i16(long long value, std::string_view id) { field(value, 2, true, id); }
    void u32(long long value, std::string_view id) { field(value, 4, false, id); }
    void text(const std::string& value) { bytes_ += value + '\0'; }
    // A block: its type, then the size of what follows.
    void block(unsigned type, std::size_t size)
    {
        of_font();
        bytes_ += static_cast<char>(type);
        field(static_cast<long long>(size), 4, true, "block-size");
    }
    // Whose the fields that follow are: the font's, a character's or a pair's.
    void of_font() { first_ = second_ = std::nullopt; }
    void of(char32_t character)
    {
        first_ = character;
        second_ = std::nullopt;
    }
    void of(char32_t first, char32_t second)
    {
        first_ = first;
        second_ = second;
    }
    std::string bytes() && { return std::move(bytes_); }

private:
    const BitmapFont& font_;
    std::optional<char32_t> first_, second_;
    std::string bytes_ = "BMF\3";  // version 3
};

// BMFont's binary form, version 3. It has no block for a distance field:
// engines that read it take the range from their own settings.
std::string binary_descriptor(const BitmapFont& font)
{
    // Readers find each page name's length from the first, the block's size
    // giving their number: the names must be as long as one another.
    for (const std::string& file : font.page_files)
        if (file.size() != font.page_files.front().size())
            throw Failure(Code::PageNamesDiffer,
                {{"face", font.face}, {"first", font.page_files.front()}, {"file", file}});
    BinaryWriter out(font);
    const std::string face = clean_face(font.face);
    out.block(1, 14 + face.size() + 1);
    out.i16(font.size, "size");
    // Counted from the high bit, as BMFont writes it: smooth 0x80, unicode
    // 0x40, italic 0x20, bold 0x10.
    out.u8(font.smooth ? 0xC0 : 0x40, "bits");
    out.u8(0, "charset");  // unused with Unicode
    out.u16(stretch, "stretch");
    out.u8(font.smooth ? 1 : 0, "aa");
    for (int side = 0; side < 4; ++side)
        out.u8(0, "padding");
    out.u8(font.spacing, "spacing");
    out.u8(font.spacing, "spacing");
    out.u8(0, "outline");
    out.text(face);

    out.block(2, 15);
    out.u16(font.line_height, "line-height");
    out.u16(font.base, "base");
    out.u16(font.page_width, "page-width");
    out.u16(font.page_height, "page-height");
    out.u16(static_cast<long long>(font.page_files.size()), "pages");
    out.u8(0, "packed");
    out.u8(alpha_channel, "channel");
    for (int channel = 0; channel < 3; ++channel)
        out.u8(colour_channel, "channel");

    out.block(3, font.page_files.empty() ? 0 : font.page_files.size() * (font.page_files.front().size() + 1));
    for (const std::string& file : font.page_files)
        out.text(file);

    out.block(4, 20 * font.chars.size());
    for (const AtlasChar& glyph : font.chars) {
        out.of(glyph.id);
        out.u32(glyph.id, "id");
        out.u16(glyph.x, "x");
        out.u16(glyph.y, "y");
        out.u16(glyph.width, "width");
        out.u16(glyph.height, "height");
        out.i16(glyph.xoffset, "xoffset");
        out.i16(glyph.yoffset, "yoffset");
        out.i16(glyph.xadvance, "xadvance");
        out.u8(glyph.page, "page");
        out.u8(glyph_channels, "channel");
    }

    if (!font.kernings.empty()) {
        out.block(5, 10 * font.kernings.size());
        for (const KerningPair& pair : font.kernings) {
            out.of(pair.first, pair.second);
            out.u32(pair.first, "id");
            out.u32(pair.second, "id");
            out.i16(pair.amount, "amount");
        }
    }
    return std::move(out).bytes();
}

}  // namespace

std::string write_descriptor(const BitmapFont& font, AtlasFormat format)
{
    check_page_files(font, format);
    switch (format) {
    case AtlasFormat::Text: return text_descriptor(font);
    case AtlasFormat::Xml: return xml_descriptor(font);
    case AtlasFormat::Json: return json_descriptor(font);
    case AtlasFormat::Binary: return binary_descriptor(font);
    }
    return text_descriptor(font);
}

}  // namespace charlib
