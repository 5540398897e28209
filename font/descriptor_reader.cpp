#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "font/font.h"

// The descriptor read back, in the forms write_descriptor writes: for
// --atlas-keep, which keeps the glyphs of the atlas as it was. Only what
// BitmapFont holds is read; anything else is left alone.
namespace charlib {

namespace {

// One tag of the text or XML form, or one object of the JSON form: its
// attributes as text, a list "1,1" as written.
struct Tag {
    std::string name;
    std::map<std::string, std::string, std::less<>> fields;
};

// Thrown inside the reader when a field is missing or out of range.
struct Malformed { };

long long field_number(const Tag& tag, std::string_view key, long long low, long long high)
{
    const auto found = tag.fields.find(key);
    if (found == tag.fields.end()) throw Malformed{};
    const std::string& text = found->second;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw Malformed{};
    return value;
}

unsigned field_whole(
    const Tag& tag, std::string_view key, long long high = std::numeric_limits<std::int32_t>::max())
{
    return static_cast<unsigned>(field_number(tag, key, 0, high));
}

int field_signed(const Tag& tag, std::string_view key)
{
    return static_cast<int>(field_number(
        tag, key, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The tags in order, as one BitmapFont.
BitmapFont font_of(const std::vector<Tag>& tags)
{
    BitmapFont font;
    bool info = false, common = false;
    std::size_t pages = 0;
    for (const Tag& tag : tags) {
        if (tag.name == "info") {
            info = true;
            const auto face = tag.fields.find("face");
            if (face != tag.fields.end()) font.face = face->second;
            font.size = field_whole(tag, "size", 0xFFFF);
            font.smooth = field_number(tag, "smooth", 0, 1) == 1;
            // "1,1": the atlas spaces its glyphs alike both ways; the first says how far.
            const auto spacing = tag.fields.find("spacing");
            if (spacing == tag.fields.end()) throw Malformed{};
            const Tag first{"", {{"spacing", spacing->second.substr(0, spacing->second.find(','))}}};
            font.spacing = field_whole(first, "spacing", 255);
        } else if (tag.name == "common") {
            common = true;
            font.line_height = field_whole(tag, "lineHeight", 0xFFFF);
            font.base = field_whole(tag, "base", 0xFFFF);
            font.page_width = field_whole(tag, "scaleW", 0xFFFF);
            font.page_height = field_whole(tag, "scaleH", 0xFFFF);
            pages = field_whole(tag, "pages", 0xFFFF);
        } else if (tag.name == "page") {
            // Pages are listed in order, numbered from 0.
            if (field_whole(tag, "id") != font.page_files.size() || !tag.fields.count("file"))
                throw Malformed{};
            font.page_files.push_back(tag.fields.at("file"));
        } else if (tag.name == "distanceField") {
            font.distance_range = field_whole(tag, "distanceRange", 0xFFFF);
        } else if (tag.name == "char") {
            AtlasChar glyph;
            glyph.id = static_cast<char32_t>(field_whole(tag, "id", 0x10FFFF));
            glyph.x = field_whole(tag, "x", 0xFFFF);
            glyph.y = field_whole(tag, "y", 0xFFFF);
            glyph.width = field_whole(tag, "width", 0xFFFF);
            glyph.height = field_whole(tag, "height", 0xFFFF);
            glyph.xoffset = field_signed(tag, "xoffset");
            glyph.yoffset = field_signed(tag, "yoffset");
            glyph.xadvance = field_signed(tag, "xadvance");
            glyph.page = field_whole(tag, "page", 0xFFFF);
            font.chars.push_back(glyph);
        } else if (tag.name == "kerning") {
            font.kernings.push_back({static_cast<char32_t>(field_whole(tag, "first", 0x10FFFF)),
                static_cast<char32_t>(field_whole(tag, "second", 0x10FFFF)), field_signed(tag, "amount")});
        }
    }
    if (!info || !common || pages != font.page_files.size()) throw Malformed{};
    return font;
}

// `&quot;`, `&#39;`... as the characters they stand for.
std::string unescaped(std::string_view text)
{
    static const std::pair<std::string_view, char> entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&#39;", '\''}};
    std::string plain;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, c] : entities)
            if (text.substr(i, entity.size()) == entity) {
                plain += c;
                i += entity.size();
                replaced = true;
                break;
            }
        if (!replaced) plain += text[i++];
    }
    return plain;
}

// The text form, a tag a line, `key=value` or `key="value"`; and the XML
// form as written, an element a line, `key="value"` with entities.
std::vector<Tag> line_tags(std::string_view text, bool xml)
{
    std::vector<Tag> tags;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos) continue;
        line.remove_prefix(first);
        if (xml) {
            if (line.substr(0, 2) == "</" || line.substr(0, 2) == "<?" || line.substr(0, 1) != "<") continue;
            line.remove_prefix(1);
            if (line.substr(line.size() >= 2 ? line.size() - 2 : 0) == "/>")
                line.remove_suffix(2);
            else if (!line.empty() && line.back() == '>')
                line.remove_suffix(1);
        }
        Tag tag;
        std::size_t at = line.find(' ');
        tag.name = std::string(line.substr(0, at));
        while (at != std::string_view::npos && at < line.size()) {
            at = line.find_first_not_of(' ', at);
            if (at == std::string_view::npos) break;
            const std::size_t equals = line.find('=', at);
            if (equals == std::string_view::npos) throw Malformed{};
            const std::string key(line.substr(at, equals - at));
            std::size_t value_end;
            std::string value;
            if (equals + 1 < line.size() && line[equals + 1] == '"') {
                value_end = line.find('"', equals + 2);
                if (value_end == std::string_view::npos) throw Malformed{};
                value = std::string(line.substr(equals + 2, value_end - equals - 2));
                ++value_end;
            } else {
                if (xml) throw Malformed{};
                value_end = line.find(' ', equals + 1);
                value = std::string(line.substr(equals + 1, value_end - (equals + 1)));
            }
            tag.fields[key] = xml ? unescaped(value) : value;
            at = value_end;
        }
        tags.push_back(std::move(tag));
    }
    return tags;
}

// The JSON form's members as the tags of the text form.
std::vector<Tag> json_tags(std::string_view text)
{
    using Json = nlohmann::json;
    const Json json = Json::parse(text, nullptr, false);
    if (!json.is_object()) throw Malformed{};
    const auto as_text = [](const Json& value) -> std::string {
        if (value.is_string()) return value.get<std::string>();
        if (value.is_number_integer()) return value.dump();
        if (value.is_array()) {
            std::string list;
            for (const Json& item : value)
                list +=
                    (list.empty() ? "" : ",") + (item.is_number_integer() ? item.dump() : std::string("x"));
            return list;
        }
        return "x";  // not a number: refused where a number is needed
    };
    const auto tag_of = [&](std::string name, const Json& object) {
        if (!object.is_object()) throw Malformed{};
        Tag tag{std::move(name), {}};
        for (const auto& [key, value] : object.items())
            tag.fields[key] = as_text(value);
        return tag;
    };
    std::vector<Tag> tags;
    for (const char* name : {"info", "common", "distanceField"})
        if (json.contains(name)) tags.push_back(tag_of(name, json[name]));
    if (!json.contains("pages") || !json["pages"].is_array()) throw Malformed{};
    std::size_t id = 0;
    for (const Json& file : json["pages"]) {
        if (!file.is_string()) throw Malformed{};
        tags.push_back({"page", {{"id", std::to_string(id++)}, {"file", file.get<std::string>()}}});
    }
    for (const auto& [list, tag] : {std::pair("chars", "char"), std::pair("kernings", "kerning")}) {
        if (!json.contains(list)) continue;
        if (!json[list].is_array()) throw Malformed{};
        for (const Json& item : json[list])
            tags.push_back(tag_of(tag, item));
    }
    return tags;
}

// BMFont's binary form, version 3: its blocks as tags.
std::vector<Tag> binary_tags(std::string_view bytes)
{
    bytes.remove_prefix(4);
    const auto take = [&](std::size_t size, bool is_signed = false) {
        if (bytes.size() < size) throw Malformed{};
        unsigned long long value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= static_cast<unsigned long long>(static_cast<unsigned char>(bytes[i])) << (8 * i);
        bytes.remove_prefix(size);
        long long result = static_cast<long long>(value);
        if (is_signed && value >> (8 * size - 1)) result -= 1LL << (8 * size);
        return std::to_string(result);
    };
    const auto text_of = [](std::string_view& block) {
        const std::size_t end = block.find('\0');
        if (end == std::string_view::npos) throw Malformed{};
        std::string text(block.substr(0, end));
        block.remove_prefix(end + 1);
        return text;
    };
    std::vector<Tag> tags;
    std::string pages = "0";
    while (!bytes.empty()) {
        const std::string type = take(1);
        const long long size = std::stoll(take(4, true));
        if (size < 0 || static_cast<unsigned long long>(size) > bytes.size()) throw Malformed{};
        std::string_view block = bytes.substr(0, static_cast<std::size_t>(size));
        bytes.remove_prefix(static_cast<std::size_t>(size));
        std::swap(bytes, block);  // `take` reads the block
        if (type == "1") {
            Tag tag{"info", {}};
            tag.fields["size"] = take(2, true);
            tag.fields["smooth"] = std::to_string(std::stoi(take(1)) >> 7 & 1);
            take(1);  // character set
            take(2);  // stretch
            take(1);  // aa
            take(4);  // padding
            const std::string spacing = take(1);
            take(1);
            take(1);  // outline
            tag.fields["spacing"] = spacing;
            tag.fields["face"] = text_of(bytes);
            tags.push_back(std::move(tag));
        } else if (type == "2") {
            Tag tag{"common", {}};
            for (const char* key : {"lineHeight", "base", "scaleW", "scaleH", "pages"})
                tag.fields[key] = take(2);
            tags.push_back(std::move(tag));
        } else if (type == "3") {
            for (std::size_t id = 0; !bytes.empty(); ++id)
                tags.push_back({"page", {{"id", std::to_string(id)}, {"file", text_of(bytes)}}});
        } else if (type == "4") {
            while (!bytes.empty()) {
                Tag tag{"char", {}};
                for (const char* key : {"id", "x", "y", "width", "height"})
                    tag.fields[key] = take(key[0] == 'i' ? 4 : 2);
                for (const char* key : {"xoffset", "yoffset", "xadvance"})
                    tag.fields[key] = take(2, true);
                tag.fields["page"] = take(1);
                take(1);  // channel
                tags.push_back(std::move(tag));
            }
        } else if (type == "5") {
            while (!bytes.empty())
                tags.push_back(
                    {"kerning", {{"first", take(4)}, {"second", take(4)}, {"amount", take(2, true)}}});
        }
        bytes = block;  // what follows the block
    }
    return tags;
}

}  // namespace

std::optional<BitmapFont> read_descriptor(std::string_view bytes)
{
    try {
        if (bytes.substr(0, 4) == std::string_view("BMF\3", 4)) return font_of(binary_tags(bytes));
        const std::size_t first = bytes.find_first_not_of(" \t\r\n");
        if (first == std::string_view::npos) return std::nullopt;
        if (bytes[first] == '{') return font_of(json_tags(bytes));
        return font_of(line_tags(bytes, bytes[first] == '<'));
    } catch (const Malformed&) {
        return std::nullopt;
    }
}

}  // namespace charlib
