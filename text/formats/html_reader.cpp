// HTML: the text a browser draws, a run between block boundaries at a time,
// and the attributes it shows (alt, title, placeholder, aria-label). Read by
// libxml2's HTML parser as a stream of events, a piece at a time: only the
// open elements and the run being gathered are kept.
#include <libxml/HTMLparser.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "readers.h"

namespace charlib::formats {

namespace {

constexpr std::size_t piece_size = std::size_t{1} << 20;
// libxml2 compares each attribute of a tag with every one before it: past
// this many the tag is refused before libxml2 sees it. No real page has so many.
constexpr std::size_t most_attributes = 1024;

bool is_html_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}
bool is_ascii_letter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

template <std::size_t size> bool is_among(std::string_view name, const std::string_view (&names)[size])
{
    return std::find(names, names + size, name) != names + size;
}

// Elements whose text flows on with the text around them.
constexpr std::string_view inline_names[] = {"a", "abbr", "acronym", "b", "bdi", "bdo", "big", "blink",
    "cite", "code", "data", "del", "dfn", "em", "font", "i", "img", "ins", "kbd", "label", "mark", "nobr",
    "output", "q", "rb", "rp", "rt", "rtc", "ruby", "s", "samp", "small", "span", "strike", "strong", "sub",
    "sup", "time", "tt", "u", "var", "wbr"};
// HTML's other elements end a run of text and begin another; an element HTML
// does not have is inline, as a browser draws a custom element until it is styled.
constexpr std::string_view block_names[] = {"address", "applet", "area", "article", "aside", "audio", "base",
    "basefont", "bgsound", "blockquote", "body", "br", "button", "canvas", "caption", "center", "col",
    "colgroup", "datalist", "dd", "details", "dialog", "dir", "div", "dl", "dt", "embed", "fieldset",
    "figcaption", "figure", "footer", "form", "frame", "frameset", "h1", "h2", "h3", "h4", "h5", "h6", "head",
    "header", "hgroup", "hr", "html", "iframe", "image", "input", "isindex", "keygen", "legend", "li", "link",
    "listing", "main", "map", "marquee", "math", "menu", "menuitem", "meta", "meter", "multicol", "nav",
    "nextid", "noembed", "noframes", "noscript", "object", "ol", "optgroup", "option", "p", "param",
    "plaintext", "pre", "progress", "script", "section", "select", "source", "spacer", "style", "summary",
    "svg", "table", "tbody", "td", "template", "textarea", "tfoot", "th", "thead", "title", "tr", "track",
    "ul", "video", "xmp"};
// Elements whose content is never drawn as text.
constexpr std::string_view hidden_names[] = {"script", "style", "template", "iframe", "noembed", "noframes"};
// Elements whose whitespace is drawn as written.
constexpr std::string_view preformatted_names[] = {"pre", "textarea", "listing", "xmp", "plaintext"};

// ---- Start tags, found as libxml2 finds them --------------------------------

struct StartTag {
    std::size_t begin = 0;  // its '<'
    std::size_t end = 0;  // where its attributes end: its '>', the '/' of "/>", or the end of the text
    std::string_view name;
    std::size_t attributes = 0;
};

// A name as libxml2 reads one in a tag: ASCII letters, digits and ":-_.",
// at most 100 characters (the rest is read as another name). Its length.
std::size_t name_length(std::string_view text, std::size_t at)
{
    std::size_t end = at;
    while (end < text.size() && end - at < 100 &&
        (is_ascii_letter(text[end]) || (text[end] >= '0' && text[end] <= '9') || text[end] == ':' ||
            text[end] == '-' || text[end] == '_' || text[end] == '.'))
        ++end;
    return end - at;
}

// What separates the names in a tag.
bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
std::size_t skip_blanks(std::string_view text, std::size_t at)
{
    while (at < text.size() && is_blank(text[at]))
        ++at;
    return at;
}

// Walks the attributes of a tag from just after its name, as libxml2 reads
// them (quotes respected), telling `found` each name and where its value
// begins (npos for none). Returns where they end.
template <class Found> std::size_t walk_attributes(std::string_view text, std::size_t at, Found&& found)
{
    const auto tag_ends = [&](std::size_t i) {
        return i >= text.size() || text[i] == '>' ||
            (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '>');
    };
    at = skip_blanks(text, at);
    while (!tag_ends(at)) {
        const char first = text[at];
        const std::size_t length = is_ascii_letter(first) || first == '_' || first == ':' || first == '.'
            ? name_length(text, at)
            : 0;
        if (length == 0) {
            // Not a name: skipped up to a blank or the tag's end.
            while (!tag_ends(at) && !is_blank(text[at]))
                ++at;
        } else {
            const std::string_view name = text.substr(at, length);
            at = skip_blanks(text, at + length);
            std::size_t value = std::string_view::npos;
            if (at < text.size() && text[at] == '=') {
                at = skip_blanks(text, at + 1);
                if (at < text.size() && (text[at] == '"' || text[at] == '\'')) {
                    value = at + 1;
                    const std::size_t close = text.find(text[at], value);
                    at = close == std::string_view::npos ? text.size() : close + 1;
                } else {
                    value = at;
                    while (at < text.size() && text[at] != '>' && !is_blank(text[at]))
                        ++at;
                }
            }
            found(name, value);
        }
        at = skip_blanks(text, at);
    }
    return at;
}

// The start tags of an HTML text in order, found where libxml2's parser
// (in recovery mode) finds them: not in comments, declarations, processing
// instructions, end tags, nor in the content of script and style.
class TagScanner {
public:
    explicit TagScanner(std::string_view text) : text_(text) { }

    std::size_t position() const { return at_; }

    std::optional<StartTag> next()
    {
        while (true) {
            if (!raw_.empty()) {
                at_ = end_of_raw_text();
                raw_ = {};
            }
            const std::size_t open = text_.find('<', at_);
            if (open == std::string_view::npos || open + 1 >= text_.size()) {
                at_ = text_.size();
                return std::nullopt;
            }
            const std::string_view rest = text_.substr(open);
            if (rest.starts_with("<!--")) {
                at_ = comment_end(open + 4);
            } else if (rest.starts_with("<!") || rest.starts_with("<?")) {
                const std::size_t close = text_.find('>', open);
                at_ = close == std::string_view::npos ? text_.size() : close + 1;
            } else if (!is_ascii_letter(rest[1])) {
                at_ = open + 1;  // an end tag, or a '<' that is text
            } else {
                StartTag tag;
                tag.begin = open;
                tag.name = text_.substr(open + 1, name_length(text_, open + 1));
                tag.end = walk_attributes(text_, open + 1 + tag.name.size(),
                    [&](std::string_view, std::size_t) { ++tag.attributes; });
                const bool closed = tag.end < text_.size() && text_[tag.end] == '/';
                at_ = std::min(tag.end + (closed ? 2 : 1), text_.size());
                if (!closed &&
                    (equal_ignoring_ascii_case(tag.name, "script") || equal_ignoring_ascii_case(tag.name, "style")))
                    raw_ = equal_ignoring_ascii_case(tag.name, "script") ? "script" : "style";
                return tag;
            }
        }
    }

private:
    // A comment ends at the first "-->" or "--!>".
    std::size_t comment_end(std::size_t from) const
    {
        for (std::size_t at = text_.find("--", from); at != std::string_view::npos;
             at = text_.find("--", at + 1)) {
            const std::string_view after = text_.substr(at + 2);
            if (after.starts_with(">")) return at + 3;
            if (after.starts_with("!>")) return at + 4;
        }
        return text_.size();
    }
    // Script and style end at "</script" or "</style", in any case.
    std::size_t end_of_raw_text() const
    {
        for (std::size_t at = text_.find("</", at_); at != std::string_view::npos;
             at = text_.find("</", at + 1))
            if (equal_ignoring_ascii_case(text_.substr(at + 2, raw_.size()), raw_)) return at;
        return text_.size();
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string_view raw_;  // "script" or "style" while in one's content
};

// ---- Runs of text -----------------------------------------------------------

// Runs of whitespace as one space, without the ends, as a browser draws them.
std::string collapsed(std::string_view text)
{
    std::string result;
    bool space_pending = false;
    for (const char c : text) {
        if (is_html_space(c)) {
            space_pending = !result.empty();
        } else {
            if (space_pending) result += ' ';
            space_pending = false;
            result += c;
        }
    }
    return result;
}

// Where a piece of text libxml2 reported begins in the source: `start`, and
// whether each of its bytes is there as written (else it is a reference).
struct Source {
    std::size_t start = 0;
    bool as_written = false;
};

// The text of one block being gathered from the pieces libxml2 reports.
class Run {
public:
    void add(std::string_view text, bool keep_whitespace, const Source& source)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            const bool after_return = after_return_;
            after_return_ = c == '\r';
            if (is_html_space(c) && (!keep_whitespace || text_.empty())) {
                space_pending_ = !text_.empty();
                continue;
            }
            // A line ends in LF, as a browser reads it.
            if (c == '\n' && after_return) continue;
            if (c == '\r') c = '\n';
            if (text_.empty()) offset_ = source.start + (source.as_written ? i : 0);
            if (space_pending_) text_ += ' ';
            space_pending_ = false;
            text_ += c;
        }
    }

    bool empty() const { return text_.empty(); }
    std::size_t offset() const { return offset_; }

    // The run so far, ended: its text without trailing whitespace.
    std::string& end()
    {
        while (!text_.empty() && is_html_space(text_.back()))
            text_.pop_back();
        space_pending_ = after_return_ = false;
        return text_;
    }
    void clear() { text_.clear(); }

private:
    std::string text_;
    std::size_t offset_ = 0;
    bool space_pending_ = false, after_return_ = false;
};

// ---- The reader ---------------------------------------------------------------

class HtmlReader {
public:
    HtmlReader(std::string_view text, const EntrySink& sink) :
        text_(text),
        lines_(text),
        sink_(sink),
        ahead_(text),
        behind_(text)
    {
    }

    void read();

private:
    // An element open, as the text inside it is read.
    struct Open {
        std::string block;  // the element whose run its text belongs to
        bool is_inline = false;  // its start and end are no run's boundaries
        bool hidden = false;  // its content is never drawn
        bool keep_whitespace = false;
        bool foreign = false;  // in SVG or MathML, whose elements are each a block
    };
    // An attribute's entry while the run before it is still open.
    struct Waiting {
        std::string text, key;
        std::size_t offset;
    };

    static void on_start(void* self, const xmlChar* name, const xmlChar** attributes);
    static void on_end(void* self, const xmlChar* name);
    static void on_text(void* self, const xmlChar* text, int length);
    static void on_end_document(void* self);

    // Nothing may be thrown through the parser: what a handler throws stops it.
    template <class Handler> void guarded(Handler&& handler)
    {
        guard_.run(handler, [this] { xmlStopParser(context_); });
    }

    std::size_t position() const
    {
        return static_cast<std::size_t>(std::clamp<long>(xmlByteConsumed(context_), 0, long(text_.size())));
    }
    Failure malformed_at(std::size_t offset, Code code, std::vector<Field> data = {}) const
    {
        return malformed(code, lines_.line(offset), lines_.column(offset), std::move(data));
    }
    void check_attributes_before(std::size_t end);
    std::optional<StartTag> source_tag(std::string_view name, std::size_t at);
    Source source_of(std::string_view text, std::size_t at) const;
    const Open& top() const
    {
        static const Open document{"body"};
        return open_.empty() ? document : open_.back();
    }

    void start(std::string_view name, const xmlChar** attributes);
    void add_attributes(
        std::string_view name, const xmlChar** attributes, const std::optional<StartTag>& tag);
    void end_run(const std::string& key);
    void emit(std::string& text, std::string_view key, std::size_t offset)
    {
        sink_(text, key, lines_.line(offset), lines_.column(offset));
    }

    std::string_view text_;
    LineIndex lines_;
    const EntrySink& sink_;
    htmlParserCtxtPtr context_ = nullptr;
    TagScanner ahead_;  // checks each tag before libxml2 reads it
    TagScanner behind_;  // finds the tag of each element libxml2 reports
    std::optional<StartTag> next_tag_;  // behind_'s, not yet matched
    std::vector<Open> open_;
    Run run_;
    std::vector<Waiting> waiting_;
    CallbackGuard guard_;
};

void HtmlReader::read()
{
    htmlSAXHandler handler{};
    handler.startElement = on_start;
    handler.endElement = on_end;
    handler.characters = on_text;
    handler.ignorableWhitespace = on_text;
    handler.cdataBlock = [](void*, const xmlChar*, int) {};  // script and style: never drawn
    handler.endDocument = on_end_document;
    const std::unique_ptr<htmlParserCtxt, void (*)(htmlParserCtxtPtr)> context(
        htmlCreatePushParserCtxt(&handler, this, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8),
        htmlFreeParserCtxt);
    if (!context) throw std::bad_alloc();
    context_ = context.get();
    // UTF-8 whatever a <meta> says; recovery ends a script only at </script>, as browsers do.
    htmlCtxtUseOptions(context_,
        HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC |
            HTML_PARSE_RECOVER);

    std::size_t fed = 0;
    for (bool last = false; !last && !guard_.failed();) {
        // What waits for its end (a long comment, say) is read again from its
        // start with each piece: the next piece is at least as long.
        const std::size_t waiting = fed - position();
        const std::size_t size =
            std::min({std::max(piece_size, waiting), text_.size() - fed, std::size_t{INT_MAX} / 2});
        last = fed + size == text_.size();
        check_attributes_before(fed + size);
        htmlParseChunk(context_, text_.data() + fed, static_cast<int>(size), last);
        fed += size;
    }
    guard_.rethrow();
    if (!run_.empty()) end_run(top().block);
}

// Each start tag that begins before `end` has at most most_attributes.
void HtmlReader::check_attributes_before(std::size_t end)
{
    while (ahead_.position() < end)
        if (const std::optional<StartTag> tag = ahead_.next(); !tag) {
            break;
        } else if (tag->attributes > most_attributes) {
            throw malformed_at(tag->begin, Code::HtmlTooManyAttributes,
                {{"name", excerpt(tag->name)}, {"limit", std::uint64_t{most_attributes}}});
        }
}

// The tag of the element `name` libxml2 reports at `at` (where it stopped
// reading the tag); nothing for an element it implied.
std::optional<StartTag> HtmlReader::source_tag(std::string_view name, std::size_t at)
{
    while (true) {
        if (!next_tag_) next_tag_ = behind_.next();
        if (!next_tag_ || next_tag_->end > at) return std::nullopt;
        // Tags before `at` that libxml2 dropped (a second <body>) are passed.
        std::optional<StartTag> tag = std::exchange(next_tag_, std::nullopt);
        if (tag->end == at && equal_ignoring_ascii_case(tag->name, name)) return tag;
    }
}

// Whether `text` is a reference libxml2 decodes: "&amp;", "&#59;", "&#x3B;".
bool is_reference(std::string_view text)
{
    if (text.size() < 3 || text.front() != '&' || text.back() != ';') return false;
    std::string_view name = text.substr(1, text.size() - 2);
    const auto all = [](std::string_view part, auto&& is) {
        return !part.empty() && std::all_of(part.begin(), part.end(), is);
    };
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (name.starts_with("#x") || name.starts_with("#X"))
        return all(name.substr(2), [](char c) { return hex_value(c) >= 0; });
    if (name.starts_with('#')) return all(name.substr(1), digit);
    return is_ascii_letter(name.front()) && all(name, [&](char c) { return is_ascii_letter(c) || digit(c); });
}

// libxml2 reports a reference decoded when it stands just past it, and text
// as written when it stands at the '<' or '&' that ends it, or, when its
// buffer filled (1000 bytes), on the text's last character.
Source HtmlReader::source_of(std::string_view text, std::size_t at) const
{
    // A reference is short: its '&' is looked for only just before.
    const std::size_t from = at > 40 ? at - 40 : 0;
    const std::size_t found = text_.substr(from, at - from).rfind('&');
    const bool near = found != std::string_view::npos;
    const std::size_t amp = from + found;
    if (near && is_reference(text_.substr(amp, at - amp))) return {amp, false};
    const auto written_before = [&](std::size_t end) {
        return end >= text.size() && end <= text_.size() &&
            text_.substr(end - text.size(), text.size()) == text;
    };
    if ((at == text_.size() || text_[at] == '<' || text_[at] == '&') && written_before(at))
        return {at - text.size(), true};
    if (text.size() >= 1000 && at < text_.size()) {
        const auto lead = static_cast<unsigned char>(text_[at]);
        const std::size_t after = at + (lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4);
        if (written_before(after)) return {after - text.size(), true};
    }
    return {near ? amp : at, false};
}

void HtmlReader::on_start(void* self, const xmlChar* name, const xmlChar** attributes)
{
    auto& reader = *static_cast<HtmlReader*>(self);
    reader.guarded([&] { reader.start(reinterpret_cast<const char*>(name), attributes); });
}

void HtmlReader::start(std::string_view name, const xmlChar** attributes)
{
    const std::size_t at = position();
    const std::optional<StartTag> tag = source_tag(name, at);
    if (open_.size() >= most_open_elements)
        throw malformed_at(tag ? tag->begin : at, Code::HtmlTooDeep,
            {{"name", excerpt(name)}, {"limit", std::uint64_t{most_open_elements}}});
    const Open& parent = top();
    Open element;
    element.hidden = parent.hidden || is_among(name, hidden_names);
    element.foreign = parent.foreign || name == "svg" || name == "math";
    // The paragraph libxml2 opens around text outside the body flows on.
    const bool implied = name == "p" && !tag;
    element.is_inline =
        !element.foreign && (implied || is_among(name, inline_names) || !is_among(name, block_names));
    element.keep_whitespace = parent.keep_whitespace || is_among(name, preformatted_names);
    element.block = element.is_inline ? parent.block : std::string(name);
    if (!element.hidden) {
        if (!element.is_inline) end_run(parent.block);
        add_attributes(name, attributes, tag);
    }
    open_.push_back(std::move(element));
}

void HtmlReader::on_end(void* self, const xmlChar*)
{
    auto& reader = *static_cast<HtmlReader*>(self);
    reader.guarded([&] {
        if (reader.open_.empty()) return;
        const Open element = std::move(reader.open_.back());
        reader.open_.pop_back();
        if (!element.is_inline && !element.hidden) reader.end_run(element.block);
    });
}

void HtmlReader::on_text(void* self, const xmlChar* characters, int length)
{
    auto& reader = *static_cast<HtmlReader*>(self);
    reader.guarded([&] {
        const Open& element = reader.top();
        if (element.hidden) return;
        const std::string_view text(
            reinterpret_cast<const char*>(characters), static_cast<std::size_t>(length));
        // Where the text is matters only to the run's first character.
        const Source source = reader.run_.empty() ? reader.source_of(text, reader.position()) : Source{};
        reader.run_.add(text, element.keep_whitespace, source);
    });
}

void HtmlReader::on_end_document(void* self)
{
    auto& reader = *static_cast<HtmlReader*>(self);
    reader.guarded([&] {
        if (!reader.run_.empty()) reader.end_run(reader.top().block);
    });
}

void HtmlReader::add_attributes(
    std::string_view name, const xmlChar** attributes, const std::optional<StartTag>& tag)
{
    static constexpr std::string_view shown[] = {"alt", "title", "placeholder", "aria-label"};
    if (!attributes) return;
    std::string_view type;
    for (const xmlChar** each = attributes; *each; each += 2)
        if (std::string_view(reinterpret_cast<const char*>(each[0])) == "type" && each[1])
            type = reinterpret_cast<const char*>(each[1]);
    // The label of a button written as <input>.
    const bool labelled_input = name == "input" && (type == "submit" || type == "button" || type == "reset");
    for (const xmlChar** each = attributes; *each; each += 2) {
        const std::string_view attribute(reinterpret_cast<const char*>(each[0]));
        if (!each[1] || (!is_among(attribute, shown) && !(labelled_input && attribute == "value"))) continue;
        std::string text = collapsed(reinterpret_cast<const char*>(each[1]));
        if (text.empty()) continue;
        // Placed where its value begins in the tag; libxml2 keeps the first of a name given twice.
        std::size_t offset = tag ? tag->end : position();
        if (tag) {
            bool found = false;
            walk_attributes(
                text_, tag->begin + 1 + tag->name.size(), [&](std::string_view written, std::size_t value) {
                    if (!found && equal_ignoring_ascii_case(written, attribute) && value != std::string_view::npos) {
                        offset = value;
                        found = true;
                    }
                });
        }
        std::string key = std::string(name) + "@" + std::string(attribute);
        if (run_.empty()) {
            emit(text, key, offset);
        } else {
            waiting_.push_back(
                {std::move(text), std::move(key), offset});  // after the run, which began before it
        }
    }
}

// The run so far as an entry of `key`, and the attributes that waited for it.
void HtmlReader::end_run(const std::string& key)
{
    std::string& text = run_.end();
    if (!text.empty()) emit(text, key, run_.offset());
    run_.clear();
    for (Waiting& waiting : waiting_)
        emit(waiting.text, waiting.key, waiting.offset);
    waiting_.clear();
}

}  // namespace

void read_html(std::string_view text, const EntrySink& sink)
{
    HtmlReader(text, sink).read();
}

}  // namespace charlib::formats
