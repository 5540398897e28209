// HTML: the text a browser draws, a run between block boundaries at a time,
// and the attributes it shows (alt, title, placeholder, aria-label).
#include <gumbo.h>

#include <algorithm>
#include <memory>

#include "readers.h"

namespace charlib::formats {

namespace {

bool is_html_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Elements whose text flows on with the text around them; any other element
// ends a run of text and begins another. Custom elements are inline until styled.
constexpr GumboTag inline_tags[] = {GUMBO_TAG_A, GUMBO_TAG_ABBR, GUMBO_TAG_ACRONYM, GUMBO_TAG_B,
    GUMBO_TAG_BDI, GUMBO_TAG_BDO, GUMBO_TAG_BIG, GUMBO_TAG_BLINK, GUMBO_TAG_CITE, GUMBO_TAG_CODE,
    GUMBO_TAG_DATA, GUMBO_TAG_DEL, GUMBO_TAG_DFN, GUMBO_TAG_EM, GUMBO_TAG_FONT, GUMBO_TAG_I, GUMBO_TAG_IMG,
    GUMBO_TAG_INS, GUMBO_TAG_KBD, GUMBO_TAG_LABEL, GUMBO_TAG_MARK, GUMBO_TAG_NOBR, GUMBO_TAG_OUTPUT,
    GUMBO_TAG_Q, GUMBO_TAG_RB, GUMBO_TAG_RP, GUMBO_TAG_RT, GUMBO_TAG_RTC, GUMBO_TAG_RUBY, GUMBO_TAG_S,
    GUMBO_TAG_SAMP, GUMBO_TAG_SMALL, GUMBO_TAG_SPAN, GUMBO_TAG_STRIKE, GUMBO_TAG_STRONG, GUMBO_TAG_SUB,
    GUMBO_TAG_SUP, GUMBO_TAG_TIME, GUMBO_TAG_TT, GUMBO_TAG_U, GUMBO_TAG_VAR, GUMBO_TAG_WBR,
    GUMBO_TAG_UNKNOWN};
// Elements whose content is never drawn as text.
constexpr GumboTag hidden_tags[] = {GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE, GUMBO_TAG_TEMPLATE, GUMBO_TAG_IFRAME,
    GUMBO_TAG_NOEMBED, GUMBO_TAG_NOFRAMES};
// Elements whose whitespace is drawn as written.
constexpr GumboTag preformatted_tags[] = {
    GUMBO_TAG_PRE, GUMBO_TAG_TEXTAREA, GUMBO_TAG_LISTING, GUMBO_TAG_XMP, GUMBO_TAG_PLAINTEXT};

template <std::size_t size> bool is_html_among(const GumboElement& element, const GumboTag (&tags)[size])
{
    return element.tag_namespace == GUMBO_NAMESPACE_HTML &&
        std::find(tags, tags + size, element.tag) != tags + size;
}

// "p", "img"; for an element gumbo does not know, its name as written.
std::string element_name(const GumboElement& element)
{
    if (element.tag != GUMBO_TAG_UNKNOWN) return gumbo_normalized_tagname(element.tag);
    GumboStringPiece name = element.original_tag;
    if (name.data == nullptr || name.length == 0) return {};
    gumbo_tag_from_original_text(&name);
    std::string lowered(name.data, name.length);
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lowered;
}

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

// An entry before its line and column are known: they are counted once the
// entries are in file order.
struct Found {
    std::string text;
    std::string key;
    std::size_t offset = 0;
};

// The text of one block being gathered from its text nodes.
class Run {
public:
    void add(const GumboText& node, bool keep_whitespace)
    {
        const std::string_view text = node.text;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (is_html_space(c) && (!keep_whitespace || text_.empty())) {
                space_pending_ = !text_.empty();
                continue;
            }
            if (text_.empty()) offset_ = start_offset(node, i);
            if (space_pending_) text_ += ' ';
            space_pending_ = false;
            text_ += c;
        }
    }

    // The run so far as an entry of `found`, if it has text.
    void end(std::vector<Found>& found, const std::string& key)
    {
        while (!text_.empty() && is_html_space(text_.back()))
            text_.pop_back();
        if (!text_.empty()) found.push_back({std::move(text_), key, offset_});
        text_.clear();
        space_pending_ = false;
    }

private:
    // Where the text from text[index] begins: leading whitespace is written as
    // itself, so it can be skipped in the source too; a reference cannot.
    static std::size_t start_offset(const GumboText& node, std::size_t index)
    {
        const GumboStringPiece& source = node.original_text;
        const bool same = index <= source.length &&
            std::all_of(source.data, source.data + index, [](char c) { return is_html_space(c); });
        return node.start_pos.offset + (same ? index : 0);
    }

    std::string text_;
    std::size_t offset_ = 0;
    bool space_pending_ = false;
};

void add_attributes(std::vector<Found>& found, const GumboElement& element)
{
    static constexpr const char* shown[] = {"alt", "title", "placeholder", "aria-label"};
    const std::string name = element_name(element);
    // The label of a button written as <input>.
    const GumboAttribute* type = gumbo_get_attribute(&element.attributes, "type");
    const std::string_view type_name = type ? type->value : "";
    const bool labelled_input = element.tag == GUMBO_TAG_INPUT &&
        (type_name == "submit" || type_name == "button" || type_name == "reset");
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        const std::string_view attribute_name = attribute->name;
        if (std::find(std::begin(shown), std::end(shown), attribute_name) == std::end(shown) &&
            !(labelled_input && attribute_name == "value"))
            continue;
        std::string text = collapsed(attribute->value);
        if (text.empty()) continue;
        const GumboStringPiece& source = attribute->original_value;
        const bool quoted = source.length > 0 && (source.data[0] == '"' || source.data[0] == '\'');
        found.push_back(
            {std::move(text), name + "@" + attribute->name, attribute->value_start.offset + quoted});
    }
}

struct OutputDeleter {
    void operator()(GumboOutput* output) const { gumbo_destroy_output(&kGumboDefaultOptions, output); }
};

}  // namespace

void read_html(std::string_view text, const EntrySink& sink)
{
    // Errors are not wanted, and recording each copies the open elements:
    // quadratic in memory on deep trees.
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    const std::unique_ptr<GumboOutput, OutputDeleter> output(
        gumbo_parse_with_options(&options, text.data(), text.size()));
    std::vector<Found> found;
    if (output) {
        // The elements open around the node being read, each with the name of
        // the block its text belongs to; a loop, not recursion, for deep trees.
        struct Open {
            const GumboNode* node;
            unsigned next_child;
            std::string block;
            bool keep_whitespace;
        };
        std::vector<Open> open{{output->document, 0, "body", false}};
        Run run;
        while (!open.empty()) {
            Open& top = open.back();
            const GumboVector& children = top.node->type == GUMBO_NODE_DOCUMENT
                ? top.node->v.document.children
                : top.node->v.element.children;
            if (top.next_child >= children.length) {
                if (top.node->type == GUMBO_NODE_ELEMENT && !is_html_among(top.node->v.element, inline_tags))
                    run.end(found, top.block);
                open.pop_back();
                continue;
            }
            const auto* child = static_cast<const GumboNode*>(children.data[top.next_child++]);
            switch (child->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_CDATA:
            case GUMBO_NODE_WHITESPACE: run.add(child->v.text, top.keep_whitespace); break;
            case GUMBO_NODE_ELEMENT: {
                const GumboElement& element = child->v.element;
                if (is_html_among(element, hidden_tags)) break;
                add_attributes(found, element);
                const bool block = !is_html_among(element, inline_tags);
                if (block) run.end(found, top.block);
                if (element.tag == GUMBO_TAG_BR || element.tag == GUMBO_TAG_HR) break;
                std::string name = block ? element_name(element) : top.block;
                const bool keep_whitespace = top.keep_whitespace || is_html_among(element, preformatted_tags);
                open.push_back({child, 0, std::move(name), keep_whitespace});  // `top` is no longer valid
                break;
            }
            default: break;  // comments and templates
            }
        }
    }
    // Text moved by the parser (out of a table, say) and attributes met
    // before the run around them ended: back in file order.
    std::stable_sort(
        found.begin(), found.end(), [](const Found& a, const Found& b) { return a.offset < b.offset; });
    const LineIndex lines(text);
    for (Found& each : found) {
        const std::size_t offset = std::min(each.offset, text.size());
        sink(each.text, each.key, lines.line(offset), lines.column(offset));
    }
}

}  // namespace charlib::formats
