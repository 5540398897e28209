// XLIFF, Android strings.xml and .NET .resx: XML decoded by us (so pugixml
// never guesses the encoding), parsed by pugixml without its own reference
// decoding, so that a reference it does not know is an error we can place.
#include <pugixml.hpp>

#include <algorithm>
#include <map>

#include "codec/utf.h"
#include "readers.h"

namespace charlib::formats {

namespace {

bool is_xml_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool is_ascii_letter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string lower(std::string_view text)
{
    std::string lowered(text);
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lowered;
}

// "xliff:g" → "g": files prefix the elements of their namespaces as they like.
std::string_view local_name(const char* name)
{
    const std::string_view full(name);
    const std::size_t colon = full.find(':');
    return colon == std::string_view::npos ? full : full.substr(colon + 1);
}

// The encoding named in an XML declaration, and its byte offset.
struct Declared {
    std::string name;
    std::size_t offset = 0;
};

std::optional<Declared> xml_declaration(std::string_view bytes)
{
    if (bytes.size() < 6 || !bytes.starts_with("<?xml") || !is_xml_space(bytes[5])) return std::nullopt;
    const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
    std::size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return std::nullopt;
    at += 8;
    while (at < declaration.size() && is_xml_space(declaration[at]))
        ++at;
    if (at >= declaration.size() || declaration[at] != '=') return std::nullopt;
    ++at;
    while (at < declaration.size() && is_xml_space(declaration[at]))
        ++at;
    if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) return std::nullopt;
    const std::size_t close = declaration.find(declaration[at], at + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return Declared{std::string(declaration.substr(at + 1, close - at - 1)), at + 1};
}

}  // namespace

// -e, else a byte-order mark, else UTF-16 seen in the first characters, else
// the declaration, else UTF-8.
TextEncoding xml_encoding(std::string_view head, std::optional<Encoding> forced)
{
    if (forced) return text_encoding(*forced);
    if (const std::optional<TextEncoding> mark = byte_order_mark(head)) return *mark;
    if (head.starts_with(std::string_view("<\0?\0", 4))) return text_encoding(Encoding::Utf16Le);
    if (head.starts_with(std::string_view("\0<\0?", 4))) return text_encoding(Encoding::Utf16Be);
    const std::optional<Declared> declared = xml_declaration(head);
    if (!declared) return text_encoding(Encoding::Utf8);
    // A declaration readable as ASCII cannot be in UTF-16 or UTF-32, whatever
    // it says; libxml2 reads such files as UTF-8 too.
    const std::string name = lower(declared->name);
    if (name.starts_with("utf-16") || name.starts_with("utf16") || name.starts_with("utf-32") ||
        name.starts_with("utf32") || name.starts_with("ucs"))
        return text_encoding(Encoding::Utf8);
    if (const std::optional<TextEncoding> known = declared_encoding(declared->name)) return *known;
    const LineIndex lines(head.substr(0, declared->offset));
    throw Malformed(lines.line(declared->offset), lines.column(declared->offset),
        "XML 声明的编码“" + declared->name + "”无法识别");
}

namespace {

// Elements whose text is kept or dropped with everything under them.
enum class Inside { Inherit, Keep, Drop };
using InlineRule = Inside (*)(std::string_view local_name);

// A parsed XML file: its decoded text, where things are in it, and the
// entities its doctype declares.
class XmlFile {
public:
    explicit XmlFile(std::string_view text) :
        text_(text),
        lines_(text),
        expansion_budget_(4 * text.size() + (1u << 20))
    {
        if (std::all_of(text.begin(), text.end(), is_xml_space)) return;
        if (const std::size_t nul = text.find('\0'); nul != std::string::npos)
            throw Malformed(lines_.line(nul), lines_.column(nul), "XML 中不能有 U+0000 字符");
        const unsigned options =
            pugi::parse_cdata | pugi::parse_wconv_attribute | pugi::parse_ws_pcdata | pugi::parse_doctype;
        const pugi::xml_parse_result result =
            document_.load_buffer(text.data(), text.size(), options, pugi::encoding_utf8);
        if (!result) {
            const auto offset = static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0));
            throw Malformed(lines_.line(offset), lines_.column(offset),
                std::string("XML 语法错误：") + result.description());
        }
        for (pugi::xml_node node = document_.first_child(); node; node = node.next_sibling())
            if (node.type() == pugi::node_doctype) read_entities(node);
    }

    pugi::xml_node root() const { return document_.document_element(); }

    // The text under `top`: its text and CDATA, references decoded, lines
    // ending in LF. `rule` keeps or drops the text of inline elements.
    std::string text_of(pugi::xml_node top, InlineRule rule = nullptr)
    {
        std::string text;
        std::vector<bool> kept{true};  // for each element entered, whether its text counts
        pugi::xml_node node = top.first_child();
        while (node) {
            if (node.type() == pugi::node_element) {
                const Inside inside = rule ? rule(local_name(node.name())) : Inside::Inherit;
                if (node.first_child()) {
                    kept.push_back(inside == Inside::Inherit ? kept.back() : inside == Inside::Keep);
                    node = node.first_child();
                    continue;
                }
            } else if (kept.back() && node.type() == pugi::node_pcdata) {
                append_decoded(text, node.value(), offset_of(node), true);
            } else if (kept.back() && node.type() == pugi::node_cdata) {
                append_decoded(text, node.value(), offset_of(node), false);
            }
            while (!node.next_sibling()) {
                node = node.parent();
                if (node == top) return text;
                kept.pop_back();
            }
            node = node.next_sibling();
        }
        return text;
    }

    // An attribute's value, references decoded; a bad one is placed at the element.
    std::string attribute(pugi::xml_node element, const char* name)
    {
        std::string value;
        append_decoded(value, element.attribute(name).value(), offset_of(element), true, false);
        return value;
    }

    // An entry for the text of `element`, placed at its '<'; none for no text.
    void add(const EntrySink& sink, pugi::xml_node element, std::string text, const std::string& key)
    {
        if (text.empty()) return;
        const std::size_t offset = offset_of(element);
        const std::size_t at = std::min(offset > 0 ? offset - 1 : 0, text_.size());
        sink(text, key, lines_.line(at), lines_.column(at));
    }

private:
    static std::size_t offset_of(pugi::xml_node node)
    {
        return static_cast<std::size_t>(std::max<std::ptrdiff_t>(node.offset_debug(), 0));
    }

    void fail(std::size_t offset, const std::string& reason) const
    {
        throw Malformed(lines_.line(offset), lines_.column(offset), reason);
    }

    // `raw` with CR LF and CR as LF and, when `references`, its references
    // decoded; `offset` is where `raw` begins, or where to place its errors
    // when not `exact`.
    void append_decoded(
        std::string& out, std::string_view raw, std::size_t offset, bool references, bool exact = true)
    {
        for (std::size_t i = 0; i < raw.size();) {
            const char c = raw[i];
            if (c == '\r') {
                out += '\n';
                i += i + 1 < raw.size() && raw[i + 1] == '\n' ? 2 : 1;
            } else if (c == '&' && references) {
                i = append_reference(out, raw, i, exact ? offset + i : offset);
            } else {
                out += c;
                ++i;
            }
        }
    }

    // Decodes the reference at raw[at] ('&'); returns where it ends.
    std::size_t append_reference(std::string& out, std::string_view raw, std::size_t at, std::size_t place)
    {
        std::size_t end = at + 1;
        while (end < raw.size() &&
            (is_ascii_letter(raw[end]) || (raw[end] >= '0' && raw[end] <= '9') || raw[end] == '#' ||
                raw[end] == '_' || raw[end] == '-' || raw[end] == '.' || raw[end] == ':' ||
                static_cast<unsigned char>(raw[end]) >= 0x80))
            ++end;
        if (end >= raw.size() || raw[end] != ';' || end == at + 1)
            fail(place, "“&”后应为实体引用（如 &amp;），或写作 &amp;");
        const std::string_view name = raw.substr(at + 1, end - at - 1);
        if (name.starts_with('#')) {
            out += to_utf8(std::u32string(1, character_reference(name, place)));
        } else if (name == "lt") {
            out += '<';
        } else if (name == "gt") {
            out += '>';
        } else if (name == "amp") {
            out += '&';
        } else if (name == "apos") {
            out += '\'';
        } else if (name == "quot") {
            out += '"';
        } else if (const auto entity = entities_.find(name); entity != entities_.end()) {
            if (entity->second.size() > expansion_budget_) fail(place, "实体展开后的文本过长");
            expansion_budget_ -= entity->second.size();
            out += entity->second;
        } else {
            fail(place, "未定义的实体“&" + std::string(name) + ";”");
        }
        return end + 1;
    }

    // "#65" or "#x41": a character XML allows.
    char32_t character_reference(std::string_view name, std::size_t place) const
    {
        const bool hex = name.size() > 1 && name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        char32_t value = 0;
        bool valid = !digits.empty();
        for (const char digit : digits) {
            if (hex ? !is_hex_digit(digit) : !(digit >= '0' && digit <= '9')) valid = false;
            if (!valid || value > 0x10FFFF) break;
            value = value * (hex ? 16 : 10) + static_cast<char32_t>(hex ? hex_value(digit) : digit - '0');
        }
        const bool allowed = value == 0x9 || value == 0xA || value == 0xD ||
            (value >= 0x20 && value <= 0xD7FF) || (value >= 0xE000 && value <= 0xFFFD) ||
            (value >= 0x10000 && value <= 0x10FFFF);
        if (!valid || !allowed) fail(place, "字符引用“&" + std::string(name) + ";”不是 XML 允许的字符");
        return value;
    }

    // The general entities of the internal subset: <!ENTITY name "value">.
    // External ones are not read, and so stay undefined.
    void read_entities(pugi::xml_node doctype)
    {
        const std::string_view subset = doctype.value();
        const std::size_t place = offset_of(doctype);
        std::size_t at = 0;
        while ((at = subset.find("<!ENTITY", at)) != std::string_view::npos) {
            at += 8;
            while (at < subset.size() && is_xml_space(subset[at]))
                ++at;
            if (at >= subset.size() || subset[at] == '%') continue;  // a parameter entity
            const std::size_t name_end = std::min(subset.find_first_of(" \t\r\n\"'>", at), subset.size());
            const std::string name(subset.substr(at, name_end - at));
            at = name_end;
            while (at < subset.size() && is_xml_space(subset[at]))
                ++at;
            if (at >= subset.size() || (subset[at] != '"' && subset[at] != '\'')) continue;
            const std::size_t close = subset.find(subset[at], at + 1);
            if (close == std::string_view::npos) break;
            std::string value;
            append_decoded(value, subset.substr(at + 1, close - at - 1), place, true, false);
            entities_.try_emplace(name, std::move(value));  // the first declaration binds
            at = close + 1;
        }
    }

    std::string_view text_;
    LineIndex lines_;
    pugi::xml_document document_;
    std::map<std::string, std::string, std::less<>> entities_;
    std::size_t expansion_budget_;  // bytes entities may still add: no "billion laughs"
};

// The node after `node` in document order, within `top`; `into` enters its children.
pugi::xml_node next_node(pugi::xml_node node, pugi::xml_node top, bool into)
{
    if (into && node.first_child()) return node.first_child();
    while (node != top && !node.next_sibling())
        node = node.parent();
    return node == top ? pugi::xml_node() : node.next_sibling();
}

pugi::xml_node child_named(pugi::xml_node parent, std::string_view name)
{
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element && local_name(child.name()) == name) return child;
    return {};
}

// XLIFF inline elements: codes stand for the original's markup, which is not
// text; <sub> inside a code is translatable text again.
Inside xliff_inline(std::string_view name)
{
    static constexpr std::string_view codes[] = {
        "bpt", "ept", "it", "ph", "x", "bx", "ex", "sc", "ec", "cp", "sm", "em"};
    if (name == "sub") return Inside::Keep;
    return std::find(std::begin(codes), std::end(codes), name) != std::end(codes) ? Inside::Drop
                                                                                  : Inside::Inherit;
}

// A resource reference (@string/name, ?attr/name, @null) is not text.
bool is_android_reference(std::string_view raw)
{
    const std::size_t first = raw.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || first + 1 >= raw.size()) return false;
    if ((raw[first] != '@' && raw[first] != '?') || !is_ascii_letter(raw[first + 1])) return false;
    const std::size_t last = raw.find_last_not_of(" \t\r\n");
    return raw.substr(first, last + 1 - first).find_first_of(" \t\r\n") == std::string_view::npos;
}

// \uXXXX at raw[at] ('u'), or nothing when four hex digits do not follow.
std::optional<char32_t> unicode_escape(std::string_view raw, std::size_t at)
{
    if (at + 4 >= raw.size()) return std::nullopt;
    char32_t value = 0;
    for (std::size_t i = at + 1; i <= at + 4; ++i) {
        if (!is_hex_digit(raw[i])) return std::nullopt;
        value = value * 16 + static_cast<char32_t>(hex_value(raw[i]));
    }
    return value;
}

// The text of a <string> as Android shows it: outside double quotes, runs of
// whitespace become one space and the ends are trimmed; the quotes go; the
// backslash escapes are decoded.
std::string android_text(std::string_view raw)
{
    std::string text;
    bool quoted = false, space_pending = false;
    const auto append = [&](std::string_view part) {
        if (space_pending && !text.empty()) text += ' ';
        space_pending = false;
        text += part;
    };
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (is_xml_space(c) && !quoted) {
            space_pending = true;
        } else if (c != '\\') {
            append(std::string_view(&raw[i], 1));
        } else if (++i < raw.size()) {
            const char escaped = raw[i];
            if (escaped == 'n') {
                append("\n");
            } else if (escaped == 't') {
                append("\t");
            } else if (const std::optional<char32_t> unit =
                           escaped == 'u' ? unicode_escape(raw, i) : std::nullopt) {
                char32_t value = *unit;
                i += 4;
                // Characters past U+FFFF are written as a surrogate pair.
                const std::optional<char32_t> low =
                    i + 2 < raw.size() && raw[i + 1] == '\\' && raw[i + 2] == 'u' ? unicode_escape(raw, i + 2)
                                                                                  : std::nullopt;
                if (value >= 0xD800 && value <= 0xDBFF && low && *low >= 0xDC00 && *low <= 0xDFFF) {
                    value = 0x10000 + ((value - 0xD800) << 10) + (*low - 0xDC00);
                    i += 6;
                } else if (value >= 0xD800 && value <= 0xDFFF) {
                    value = U'\uFFFD';
                }
                append(to_utf8(std::u32string(1, value)));
            } else {
                append(std::string_view(&raw[i], 1));  // \' \" \\ \@ \? and any other: the character itself
            }
        }
    }
    return text;
}

}  // namespace

void read_xliff(std::string_view text, bool source, const EntrySink& entries)
{
    XmlFile file(text);
    const std::string_view wanted = source ? "source" : "target";
    const pugi::xml_node top = file.root().parent();
    pugi::xml_node node = file.root();
    while (node) {
        const std::string_view name = node.type() == pugi::node_element ? local_name(node.name()) : "";
        if (name == "trans-unit") {  // 1.2
            std::string key = file.attribute(node, "resname");
            if (key.empty()) key = file.attribute(node, "id");
            if (const pugi::xml_node text = child_named(node, wanted))
                file.add(entries, text, file.text_of(text, xliff_inline), key);
        } else if (name == "unit") {  // 2.0: a unit of several segments gives several entries
            const std::string id = file.attribute(node, "id");
            std::size_t segments = 0;
            for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
                segments += local_name(child.name()) == "segment";
            std::size_t index = 0;
            for (pugi::xml_node segment = node.first_child(); segment; segment = segment.next_sibling()) {
                if (segment.type() != pugi::node_element || local_name(segment.name()) != "segment") continue;
                ++index;
                std::string key = id;
                if (segments > 1) {
                    const std::string segment_id = file.attribute(segment, "id");
                    key += "/" + (segment_id.empty() ? std::to_string(index) : segment_id);
                }
                if (const pugi::xml_node text = child_named(segment, wanted))
                    file.add(entries, text, file.text_of(text, xliff_inline), key);
            }
        }
        node = next_node(node, top, name != "trans-unit" && name != "unit");
    }
}

void read_android(std::string_view text, const EntrySink& entries)
{
    XmlFile file(text);
    const auto add = [&](pugi::xml_node element, std::string key) {
        const std::string raw = file.text_of(element);
        if (!is_android_reference(raw)) file.add(entries, element, android_text(raw), key);
    };
    for (pugi::xml_node resource = file.root().first_child(); resource; resource = resource.next_sibling()) {
        const std::string_view kind = resource.type() == pugi::node_element ? resource.name() : "";
        const std::string name = kind.empty() ? std::string() : file.attribute(resource, "name");
        if (kind == "string" || (kind == "item" && file.attribute(resource, "type") == "string")) {
            add(resource, name);
        } else if (kind == "plurals" || kind == "string-array") {
            std::size_t index = 0;
            for (pugi::xml_node item = resource.child("item"); item; item = item.next_sibling("item")) {
                add(item,
                    name + "[" +
                        (kind == "plurals" ? file.attribute(item, "quantity") : std::to_string(index)) + "]");
                ++index;
            }
        }
    }
}

void read_resx(std::string_view text, const EntrySink& entries)
{
    XmlFile file(text);
    for (pugi::xml_node data = file.root().child("data"); data; data = data.next_sibling("data")) {
        // Serialized objects and other types are not text; ">>name.Type" and
        // the like are Windows Forms' notes on its controls.
        const std::string type = file.attribute(data, "type");
        std::string name = file.attribute(data, "name");
        if (data.attribute("mimetype") || (!type.empty() && !type.starts_with("System.String")) ||
            name.starts_with(">>"))
            continue;
        if (const pugi::xml_node value = data.child("value"))
            file.add(entries, value, file.text_of(value), name);
    }
}

}  // namespace charlib::formats
