// XLIFF, Android strings.xml and .NET .resx: XML decoded by us (so expat
// never guesses the encoding) and read by expat as a stream of events, a
// piece at a time: only the open elements' depth and the entry being
// gathered are kept, whatever the file's size.
// Debian's expat is built with DTD support, but its header declares the
// entity expansion limits only for code that says so.
#define XML_DTD 1
#include <expat.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/ascii.h"
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

// "xliff:g" → "g": files prefix the elements of their namespaces as they like.
std::string_view local_name(std::string_view name)
{
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
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
    const std::string name = ascii_lower(declared->name);
    if (name.starts_with("utf-16") || name.starts_with("utf16") || name.starts_with("utf-32") ||
        name.starts_with("utf32") || name.starts_with("ucs"))
        return text_encoding(Encoding::Utf8);
    if (const std::optional<TextEncoding> known = declared_encoding(declared->name)) return *known;
    const LineIndex lines(head.substr(0, declared->offset));
    throw malformed(Code::XmlUnknownEncoding, lines.line(declared->offset), lines.column(declared->offset),
        {{"encoding", excerpt(declared->name)}});
}

namespace {

constexpr std::size_t piece_size = std::size_t{1} << 20;
// Entities may make the text they are in longer, never past this: the text
// gathered in entries stays within the file's size and this much more.
constexpr std::size_t expansion_allowance = std::size_t{64} << 20;
// Past expat's threshold (8 MiB), its entities may at most double what was
// read: a "billion laughs" stops at once, in attributes too.
constexpr float most_amplification = 2.0f;

// Elements whose text is kept or dropped with everything under them.
enum class Inside { Inherit, Keep, Drop };
using InlineRule = Inside (*)(std::string_view local_name);

// An XML file read by expat. A reader sees the elements outside the one it
// gathers, with their depth (the root is 1), and receives the text of each
// element it chose to gather when it closes.
class XmlReader {
public:
    XmlReader(std::string_view text, const EntrySink& sink) : text_(text), lines_(text), sink_(sink) { }
    virtual ~XmlReader() = default;

    // Reads the whole text; throws a Failure for XML it cannot read.
    void read();

protected:
    virtual void start(
        std::string_view name, const char** attributes, std::size_t offset, std::size_t depth) = 0;
    virtual void end(std::size_t /*depth*/) { }
    // The text of the element gather() chose, when it closes: its text and
    // CDATA, references decoded, lines ending in LF; `offset` is its '<'.
    virtual void gathered(std::string& text, std::size_t offset) = 0;

    // Gathers the text of the element start() was just told of; `rule`
    // keeps or drops the text of the elements inside it.
    void gather(std::size_t offset, InlineRule rule = nullptr)
    {
        gathering_ = depth_;
        gather_offset_ = offset;
        rule_ = rule;
        kept_.assign(1, true);
        text_gathered_.clear();
    }

    // An entry placed at `offset`; none for no text.
    void emit(std::string& text, std::string_view key, std::size_t offset)
    {
        if (!text.empty()) sink_(text, key, lines_.line(offset), lines_.column(offset));
    }

    static const char* attribute(const char** attributes, std::string_view name)
    {
        for (; *attributes; attributes += 2)
            if (name == attributes[0]) return attributes[1];
        return nullptr;
    }
    static std::string attribute_or_empty(const char** attributes, std::string_view name)
    {
        const char* value = attribute(attributes, name);
        return value ? value : "";
    }

private:
    static void XMLCALL on_start(void* self, const char* name, const char** attributes);
    static void XMLCALL on_end(void* self, const char* name);
    static void XMLCALL on_text(void* self, const char* text, int length);
    static void XMLCALL on_cdata_start(void* self);
    static void XMLCALL on_skipped_entity(void* self, const char* name, int parameter);
    static int XMLCALL on_external_entity(
        XML_Parser parser, const char* context, const char* base, const char* system, const char* public_id);

    // Nothing may be thrown through the parser: what a handler throws stops it.
    template <class Handler> void guarded(Handler&& handler)
    {
        guard_.run(handler, [this] { XML_StopParser(parser_, XML_FALSE); });
    }
    std::size_t offset() const
    {
        return static_cast<std::size_t>(
            std::clamp<XML_Index>(XML_GetCurrentByteIndex(parser_), 0, static_cast<XML_Index>(text_.size())));
    }
    Failure malformed_at(std::size_t offset, Code code, std::vector<Field> data = {}) const
    {
        return malformed(code, lines_.line(offset), lines_.column(offset), std::move(data));
    }
    std::string reference_at(std::size_t offset) const;
    [[noreturn]] void fail() const;

    std::string_view text_;
    LineIndex lines_;
    const EntrySink& sink_;
    XML_Parser parser_ = nullptr;
    std::size_t depth_ = 0;
    std::size_t gathering_ = 0;  // the depth of the element gathered; 0: none
    std::size_t gather_offset_ = 0;
    InlineRule rule_ = nullptr;
    std::vector<bool> kept_;  // for the gathered element and each open inside it: whether its text counts
    std::string text_gathered_;
    std::size_t gathered_in_all_ = 0;
    std::size_t cdata_offset_ = 0;  // where the last CDATA section began
    CallbackGuard guard_;
};

void XmlReader::read()
{
    if (std::all_of(text_.begin(), text_.end(), is_xml_space)) return;
    // Told the encoding, expat ignores the declaration's: the text is UTF-8 whatever it says.
    const std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(
        XML_ParserCreate("UTF-8"), XML_ParserFree);
    if (!parser) throw std::bad_alloc();
    parser_ = parser.get();
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, on_start, on_end);
    XML_SetCharacterDataHandler(parser_, on_text);
    XML_SetCdataSectionHandler(parser_, on_cdata_start, nullptr);
    // An entity only an unread DTD could define is an error, not skipped text;
    // an external entity is never fetched.
    XML_SetSkippedEntityHandler(parser_, on_skipped_entity);
    XML_SetExternalEntityRefHandler(parser_, on_external_entity);
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser_, most_amplification);

    std::size_t fed = 0;
    for (bool last = false; !last;) {
        // A token that spans pieces is read again from its start with each
        // new piece, so the next piece is at least as long as what waits.
        const std::size_t waiting = fed - offset();
        const std::size_t size =
            std::min({std::max(piece_size, waiting), text_.size() - fed, std::size_t{INT_MAX} / 2});
        last = fed + size == text_.size();
        if (XML_Parse(parser_, text_.data() + fed, static_cast<int>(size), last) != XML_STATUS_OK ||
            guard_.failed())
            fail();
        fed += size;
    }
}

void XmlReader::on_start(void* self, const char* name, const char** attributes)
{
    auto& reader = *static_cast<XmlReader*>(self);
    reader.guarded([&] {
        if (++reader.depth_ > most_open_elements)
            throw reader.malformed_at(reader.offset(), Code::XmlTooDeep,
                {{"name", excerpt(name)}, {"limit", std::uint64_t{most_open_elements}}});
        if (reader.gathering_ == 0) {
            reader.start(name, attributes, reader.offset(), reader.depth_);
            return;
        }
        const Inside inside = reader.rule_ ? reader.rule_(local_name(name)) : Inside::Inherit;
        reader.kept_.push_back(inside == Inside::Inherit ? reader.kept_.back() : inside == Inside::Keep);
    });
}

void XmlReader::on_end(void* self, const char*)
{
    auto& reader = *static_cast<XmlReader*>(self);
    reader.guarded([&] {
        if (reader.depth_ == reader.gathering_) {
            reader.gathering_ = 0;
            reader.gathered(reader.text_gathered_, reader.gather_offset_);
        } else if (reader.gathering_ != 0) {
            reader.kept_.pop_back();
        } else {
            reader.end(reader.depth_);
        }
        --reader.depth_;
    });
}

void XmlReader::on_text(void* self, const char* text, int length)
{
    auto& reader = *static_cast<XmlReader*>(self);
    reader.guarded([&] {
        if (reader.gathering_ == 0 || !reader.kept_.back()) return;
        reader.gathered_in_all_ += static_cast<std::size_t>(length);
        if (reader.gathered_in_all_ > reader.text_.size() + expansion_allowance)
            throw reader.malformed_at(reader.offset(), Code::XmlEntitiesTooLong);
        reader.text_gathered_.append(text, static_cast<std::size_t>(length));
    });
}

void XmlReader::on_cdata_start(void* self)
{
    auto& reader = *static_cast<XmlReader*>(self);
    reader.cdata_offset_ = reader.offset();
}

void XmlReader::on_skipped_entity(void* self, const char* name, int parameter)
{
    auto& reader = *static_cast<XmlReader*>(self);
    reader.guarded([&] {
        if (parameter) return;  // a %reference; in the DTD: only its declarations are left unread
        throw reader.malformed_at(
            reader.offset(), Code::XmlUndefinedEntity, {{"name", "&" + excerpt(name) + ";"}});
    });
}

int XmlReader::on_external_entity(
    XML_Parser parser, const char*, const char*, const char* system, const char*)
{
    auto& reader = *static_cast<XmlReader*>(XML_GetUserData(parser));
    const std::size_t at = reader.offset();
    reader.guard_.keep(std::make_exception_ptr(reader.malformed_at(at, Code::XmlExternalEntity,
        {{"name", reader.reference_at(at)}, {"system", excerpt(system ? system : "")}})));
    return XML_STATUS_ERROR;
}

// The reference at text[offset] ('&'), as written.
std::string XmlReader::reference_at(std::size_t offset) const
{
    const std::string_view rest = text_.substr(offset, 40);
    const std::size_t end = rest.find(';');
    return std::string(end == std::string_view::npos ? rest.substr(0, 1) : rest.substr(0, end + 1));
}

void XmlReader::fail() const
{
    guard_.rethrow();
    std::size_t at = offset();
    const XML_Error code = XML_GetErrorCode(parser_);
    switch (code) {
    case XML_ERROR_UNDEFINED_ENTITY:
        throw malformed_at(at, Code::XmlUndefinedEntity, {{"name", reference_at(at)}});
    case XML_ERROR_BAD_CHAR_REF:
        throw malformed_at(at, Code::XmlBadCharacterReference, {{"name", reference_at(at)}});
    case XML_ERROR_ATTRIBUTE_EXTERNAL_ENTITY_REF:
        throw malformed_at(at, Code::XmlExternalEntityInAttribute, {{"name", reference_at(at)}});
    case XML_ERROR_AMPLIFICATION_LIMIT_BREACH: throw malformed_at(at, Code::XmlEntitiesTooLong);
    case XML_ERROR_UNCLOSED_CDATA_SECTION: throw malformed_at(cdata_offset_, Code::XmlUnclosedCdata);
    case XML_ERROR_INVALID_TOKEN: {
        // expat stops on the character that cannot follow an '&': the
        // reference is placed and named from its '&'.
        std::size_t amp = at;
        while (amp > 0 && at - amp < 40 && text_[amp - 1] != '&' &&
            (is_ascii_letter(text_[amp - 1]) || (text_[amp - 1] >= '0' && text_[amp - 1] <= '9') ||
                text_[amp - 1] == '#' || text_[amp - 1] == '_' || text_[amp - 1] == '-' ||
                text_[amp - 1] == '.' || text_[amp - 1] == ':'))
            --amp;
        if (amp > 0 && text_[amp - 1] == '&') {
            at = amp - 1;
            if (text_.substr(at).starts_with("&#"))
                throw malformed_at(at, Code::XmlBadCharacterReference, {{"name", reference_at(at)}});
            throw malformed_at(at, Code::XmlBareAmpersand);
        }
        break;
    }
    default: break;
    }
    throw malformed_at(at, Code::XmlSyntax, {{"detail", std::string(XML_ErrorString(code))}});
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

// The text of a <string> as Android shows it, made in its place: outside
// double quotes, runs of whitespace become one space and the ends are
// trimmed; the quotes go; the backslash escapes are decoded. Nothing read
// becomes longer, so what is written never overtakes what is still to read.
void android_text_in_place(std::string& text)
{
    std::size_t out = 0;
    bool quoted = false, space_pending = false;
    const auto put = [&](std::string_view part) {
        if (space_pending && out > 0) text[out++] = ' ';
        space_pending = false;
        for (const char c : part)
            text[out++] = c;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (is_xml_space(c) && !quoted) {
            space_pending = true;
        } else if (c != '\\') {
            put(std::string_view(&c, 1));
        } else if (++i < text.size()) {
            const char escaped = text[i];
            if (escaped == 'n') {
                put("\n");
            } else if (escaped == 't') {
                put("\t");
            } else if (const std::optional<char32_t> unit =
                           escaped == 'u' ? unicode_escape(text, i) : std::nullopt) {
                char32_t value = *unit;
                i += 4;
                // Characters past U+FFFF are written as a surrogate pair.
                const std::optional<char32_t> low =
                    i + 2 < text.size() && text[i + 1] == '\\' && text[i + 2] == 'u'
                    ? unicode_escape(text, i + 2)
                    : std::nullopt;
                if (value >= 0xD800 && value <= 0xDBFF && low && *low >= 0xDC00 && *low <= 0xDFFF) {
                    value = 0x10000 + ((value - 0xD800) << 10) + (*low - 0xDC00);
                    i += 6;
                } else if (value >= 0xD800 && value <= 0xDFFF) {
                    value = U'\uFFFD';
                }
                put(to_utf8(std::u32string(1, value)));
            } else {
                put(std::string_view(&escaped, 1));  // \' \" \\ \@ \? and any other: the character itself
            }
        }
    }
    text.resize(out);
}

// XLIFF 1.2 <trans-unit>s and 2.0 <unit>s, wherever they are; what is inside
// a unit is only its target (or source), never another unit.
class XliffReader final : public XmlReader {
public:
    XliffReader(std::string_view text, bool source, const EntrySink& sink) :
        XmlReader(text, sink),
        wanted_(source ? "source" : "target")
    {
    }

private:
    // The first segment of a 2.0 unit, until the unit shows whether it has others.
    struct Held {
        std::string text, suffix;
        std::size_t offset = 0;
    };

    void start(std::string_view name, const char** attributes, std::size_t offset, std::size_t depth) override
    {
        const std::string_view local = local_name(name);
        if (unit_depth_ == 0) {
            if (local != "trans-unit" && local != "unit") return;
            unit_depth_ = depth;
            version_two_ = local == "unit";
            key_ = attribute_or_empty(attributes, "resname");
            if (key_.empty() || version_two_) key_ = attribute_or_empty(attributes, "id");
            taken_ = in_segment_ = false;
            segments_ = 0;
            held_.reset();
            return;
        }
        if (version_two_ && depth == unit_depth_ + 1 && local == "segment") {
            in_segment_ = true;
            taken_ = false;
            const std::string id = attribute_or_empty(attributes, "id");
            ++segments_;
            suffix_ = id.empty() ? std::to_string(segments_) : id;
            if (segments_ == 2 && held_) {
                emit(held_->text, key_ + "/" + held_->suffix, held_->offset);
                held_.reset();
            }
            return;
        }
        const std::size_t parent = version_two_ ? unit_depth_ + 1 : unit_depth_;
        if (depth == parent + 1 && local == wanted_ && !taken_ && (!version_two_ || in_segment_)) {
            taken_ = true;
            gather(offset, xliff_inline);
        }
    }

    void end(std::size_t depth) override
    {
        if (depth == unit_depth_) {
            if (held_) emit(held_->text, key_, held_->offset);
            held_.reset();
            unit_depth_ = 0;
        } else if (depth == unit_depth_ + 1) {
            in_segment_ = false;
        }
    }

    void gathered(std::string& text, std::size_t offset) override
    {
        if (!version_two_) {
            emit(text, key_, offset);
        } else if (segments_ > 1) {
            emit(text, key_ + "/" + suffix_, offset);
        } else if (!text.empty()) {
            held_ = Held{std::move(text), suffix_, offset};
        }
    }

    std::string_view wanted_;
    std::size_t unit_depth_ = 0;  // of the open unit; 0: none
    bool version_two_ = false;  // a 2.0 <unit> of segments, not a 1.2 <trans-unit>
    std::string key_;
    bool taken_ = false;  // the unit's (or segment's) target was read: only the first counts
    bool in_segment_ = false;
    std::size_t segments_ = 0;
    std::string suffix_;  // of the segment open
    std::optional<Held> held_;
};

// The root's <string>s, and the items of its <plurals> and <string-array>s.
class AndroidReader final : public XmlReader {
public:
    using XmlReader::XmlReader;

private:
    void start(std::string_view name, const char** attributes, std::size_t offset, std::size_t depth) override
    {
        if (depth == 2) {
            kind_ = name;
            name_ = attribute_or_empty(attributes, "name");
            index_ = 0;
            if (name == "string" || (name == "item" && attribute_or_empty(attributes, "type") == "string")) {
                key_ = name_;
                gather(offset);
            }
        } else if (depth == 3 && name == "item" && (kind_ == "plurals" || kind_ == "string-array")) {
            key_ = name_ + "[" +
                (kind_ == "plurals" ? attribute_or_empty(attributes, "quantity") : std::to_string(index_)) +
                "]";
            ++index_;
            gather(offset);
        }
    }

    void gathered(std::string& raw, std::size_t offset) override
    {
        if (is_android_reference(raw)) return;
        android_text_in_place(raw);
        emit(raw, key_, offset);
    }

    std::string kind_, name_, key_;  // the resource open under the root, its name, the entry's key
    std::size_t index_ = 0;  // of the next item
};

// The <value> of the root's string <data>s.
class ResxReader final : public XmlReader {
public:
    using XmlReader::XmlReader;

private:
    void start(std::string_view name, const char** attributes, std::size_t offset, std::size_t depth) override
    {
        if (depth == 2) {
            // Serialized objects and other types are not text; ">>name.Type"
            // and the like are Windows Forms' notes on its controls.
            const std::string type = attribute_or_empty(attributes, "type");
            name_ = attribute_or_empty(attributes, "name");
            value_wanted_ = name == "data" && !attribute(attributes, "mimetype") &&
                (type.empty() || type.starts_with("System.String")) && !name_.starts_with(">>");
        } else if (depth == 3 && value_wanted_ && name == "value") {
            value_wanted_ = false;  // the first <value> only
            gather(offset);
        }
    }

    void gathered(std::string& text, std::size_t offset) override { emit(text, name_, offset); }

    std::string name_;
    bool value_wanted_ = false;  // the <data> open is text whose <value> is still to come
};

}  // namespace

void read_xliff(std::string_view text, bool source, const EntrySink& sink)
{
    XliffReader(text, source, sink).read();
}

void read_android(std::string_view text, const EntrySink& sink)
{
    AndroidReader(text, sink).read();
}

void read_resx(std::string_view text, const EntrySink& sink)
{
    ResxReader(text, sink).read();
}

}  // namespace charlib::formats
