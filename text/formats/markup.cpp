// What a program fills in or styles rather than draws: rich-text tags
// (<b>, [b]), placeholders in braces, printf conversions, and the syntax of
// ICU MessageFormat. Each pattern is matched by a scan that stops at the
// first character it cannot take, so the whole is linear in the text; what
// matches no pattern is kept.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

#include "formats/entries.h"
#include "readers.h"

namespace charlib {

namespace {

// Every pattern is ASCII, so the same scans read code points or UTF-8 bytes:
// a byte of a multi-byte character is never taken for an ASCII one.
template <class Char> char32_t value(Char c)
{
    if constexpr (sizeof(Char) == 1)
        return static_cast<unsigned char>(c);
    else
        return static_cast<char32_t>(c);
}
// A view read as code points, whichever it holds.
template <class View> struct Codes {
    View view;
    std::size_t size() const { return view.size(); }
    char32_t operator[](std::size_t i) const { return value(view[i]); }
};

bool is_ascii_letter(char32_t c)
{
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}
bool is_digit(char32_t c)
{
    return c >= U'0' && c <= U'9';
}
bool one_of(char32_t c, std::string_view set)
{
    return c < 0x80 && set.find(static_cast<char>(c)) != set.npos;
}
bool is_line_end(char32_t c)
{
    return c == U'\n' || c == U'\r';
}

// Whether `word` (ASCII) stands in `text` at `at`.
template <class View> bool word_at(View in, std::size_t at, std::string_view word)
{
    const Codes<View> text{in};
    if (at > text.size() || text.size() - at < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (text[at + i] != static_cast<unsigned char>(word[i])) return false;
    return true;
}

// What kept_parts hands on: a part of the text kept as it stands, or a
// character the markup names ([lb], [char=4E2D]) in place of the tag that names it.
template <class Keep, class Put> struct Output {
    Keep keep;  // (at, length)
    Put put;  // (char32_t), never longer in UTF-8 than the tag it replaces
};

// <b>, </size>, <color=#ff0000>, <br/>: '<', maybe '/', a letter, then up to
// the next '>' on the same line with no '<' between. The length taken, or 0.
template <class View> std::size_t tag_length(View in, std::size_t at)
{
    const Codes<View> text{in};
    std::size_t i = at + 1;
    if (i < text.size() && text[i] == U'/') ++i;
    if (i >= text.size() || !is_ascii_letter(text[i])) return 0;
    for (; i < text.size(); ++i) {
        if (text[i] == U'>') return i + 1 - at;
        if (text[i] == U'<' || is_line_end(text[i])) return 0;
    }
    return 0;
}

// BBCode, by name: the tags of Godot's RichTextLabel and of the common
// forums, in lower case as Godot reads them. Sorted, for the search.
constexpr std::string_view bbcode_names[] = {"align", "alm", "b", "bgcolor", "br", "cell", "center", "char",
    "code", "color", "colour", "dropcap", "email", "fade", "fgcolor", "fill", "font", "font_size", "fsi",
    "highlight", "hint", "hr", "i", "img", "indent", "justify", "lang", "lb", "left", "li", "list", "lre",
    "lri", "lrm", "lro", "ol", "opentype_features", "otf", "outline_color", "outline_size", "p", "pdf", "pdi",
    "pulse", "quote", "rainbow", "rb", "right", "rle", "rli", "rlm", "rlo", "s", "shake", "shy", "size",
    "spoiler", "strike", "sub", "sup", "table", "td", "th", "tornado", "tr", "u", "ul", "url", "wave", "wj",
    "youtube", "zwj", "zwnj"};
static_assert(std::is_sorted(std::begin(bbcode_names), std::end(bbcode_names)));

bool is_bbcode_name(std::string_view name)
{
    return std::binary_search(std::begin(bbcode_names), std::end(bbcode_names), name);
}

// What a BBCode tag at a '[' is: how long, and what it stands for.
struct BbTag {
    std::size_t length = 0;  // 0: not a tag
    char32_t draws = 0;  // the character it draws ([lb], [rb], [char=4E2D]), or 0
    bool hides_content = false;  // [img]path[/img], [youtube]id[/youtube]: the content is not drawn
};

// The character a hexadecimal code names, or 0 when it names none.
template <class View> char32_t hex_character(View in, std::size_t from, std::size_t to)
{
    const Codes<View> text{in};
    if (to <= from || to - from > 6) return 0;
    char32_t code = 0;
    for (std::size_t i = from; i < to; ++i) {
        const char32_t c = text[i];
        const int digit = c < 0x80 ? formats::hex_value(static_cast<char>(c)) : -1;
        if (digit < 0) return 0;
        code = code * 16 + static_cast<char32_t>(digit);
    }
    const bool valid = code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    return valid ? code : 0;
}

// [b], [/b], [color=yellow], [url=https://…], [img width=32], [*]: '[', maybe
// '/', a known name, then ']', or '=' or a space and up to the next ']' on
// the same line with no '[' between. "[注]" and "[1]" are text.
template <class View> BbTag bbcode_tag(View in, std::size_t at)
{
    const Codes<View> text{in};
    std::size_t i = at + 1;
    const bool closing = i < text.size() && text[i] == U'/';
    if (closing) ++i;
    if (!closing && i + 1 < text.size() && text[i] == U'*' && text[i + 1] == U']') return {3};  // a list item
    constexpr std::size_t longest = 20;
    char name[longest];
    std::size_t length = 0;
    for (; i < text.size() && length < longest; ++i, ++length) {
        const char32_t c = text[i];
        if (!((c >= U'a' && c <= U'z') || is_digit(c) || c == U'_')) break;
        name[length] = static_cast<char>(c);
    }
    const std::string_view named(name, length);
    if (i >= text.size() || !is_bbcode_name(named)) return {};
    if (text[i] == U']') {
        BbTag tag{i + 1 - at};
        if (!closing && named == "lb") tag.draws = U'[';
        if (!closing && named == "rb") tag.draws = U']';
        tag.hides_content = !closing && (named == "img" || named == "youtube");
        return tag;
    }
    if (closing || (text[i] != U'=' && text[i] != U' ')) return {};
    const std::size_t value_start = i + 1;
    for (++i; i < text.size(); ++i) {
        if (text[i] == U']') break;
        if (text[i] == U'[' || is_line_end(text[i])) return {};
    }
    if (i >= text.size()) return {};
    BbTag tag{i + 1 - at};
    if (named == "char") {
        // [char=4E2D] draws that character; a code that is none is text.
        tag.draws = text[value_start - 1] == U'=' ? hex_character(in, value_start, i) : 0;
        if (tag.draws == 0) return {};
    }
    tag.hides_content = named == "img" || named == "youtube";
    return tag;
}

// Where the '}' closing a placeholder body that begins at `from` is, or npos.
// A body is one name ({0}, {count}, {user.name}, { count }), maybe empty,
// then maybe a format in ASCII after ':' or ',' ({0:N2}, {:.2f}, {0,number}).
// Words, other characters and nested braces make it text: "{count, plural,
// one {...}}" is left to the MessageFormat reading.
template <class View> std::size_t body_end(View in, std::size_t from)
{
    const Codes<View> text{in};
    std::size_t i = from;
    while (i < text.size() && text[i] == U' ')
        ++i;
    const std::size_t name_start = i;
    while (i < text.size() && (is_ascii_letter(text[i]) || is_digit(text[i]) || one_of(text[i], "_.$-")))
        ++i;
    const bool named = i > name_start;
    while (i < text.size() && text[i] == U' ')
        ++i;
    if (i >= text.size()) return std::string_view::npos;
    if (text[i] == U'}') return named || i == from ? i : std::string_view::npos;  // "{}" but not "{ }"
    if (text[i] != U':' && !(text[i] == U',' && named)) return std::string_view::npos;
    for (++i; i < text.size(); ++i) {
        if (text[i] == U'}') return i;
        if (text[i] < 0x20 || text[i] > 0x7E || text[i] == U'{') return std::string_view::npos;
    }
    return std::string_view::npos;
}

// {0}, {name}, {{count}}: the length taken, or 0.
template <class View> std::size_t placeholder_length(View in, std::size_t at)
{
    const Codes<View> text{in};
    if (at + 1 < text.size() && text[at + 1] == U'{') {
        // Only as a pair: "{{0}" keeps its first brace (the caller then tries the second).
        const std::size_t end = body_end(in, at + 2);
        return end != std::string_view::npos && end + 1 < text.size() && text[end + 1] == U'}'
            ? end + 2 - at
            : 0;
    }
    const std::size_t end = body_end(in, at + 1);
    return end == std::string_view::npos ? 0 : end + 1 - at;
}

// %s, %1$d, %.2f, %-5s, %lld, %@, %(name)s, %n: the length taken, or 0. No
// space flag, so that "50 % des" stays; no %o, %p, which start words. %n is
// Java's line separator (and Qt's count), taken alone.
template <class View> std::size_t conversion_length(View in, std::size_t at)
{
    const Codes<View> text{in};
    std::size_t i = at + 1;
    if (i < text.size() && text[i] == U'n') return 2;
    const auto digits = [&] {
        while (i < text.size() && is_digit(text[i]))
            ++i;
    };
    if (i < text.size() && text[i] == U'(') {  // Python's mapping key
        const std::size_t name_start = ++i;
        while (i < text.size() && (is_ascii_letter(text[i]) || is_digit(text[i]) || text[i] == U'_'))
            ++i;
        if (i == name_start || i >= text.size() || text[i] != U')') return 0;
        ++i;
    } else {  // the argument's position: 1$
        const std::size_t start = i;
        digits();
        if (!(i > start && i < text.size() && text[i] == U'$'))
            i = start;
        else
            ++i;
    }
    while (i < text.size() && one_of(text[i], "-+#0"))
        ++i;
    if (i < text.size() && text[i] == U'*')
        ++i;
    else
        digits();
    if (i < text.size() && text[i] == U'.') {
        ++i;
        if (i < text.size() && text[i] == U'*')
            ++i;
        else
            digits();
    }
    if (i + 1 < text.size() &&
        ((text[i] == U'h' && text[i + 1] == U'h') || (text[i] == U'l' && text[i + 1] == U'l')))
        i += 2;
    else if (i < text.size() && one_of(text[i], "hlLz"))
        ++i;
    return i < text.size() && one_of(text[i], "diuxXeEfFgGaAcsS@") ? i + 1 - at : 0;
}

// Where "[/img]" or "[/youtube]" closes hidden content, searched once for
// every closing tag however many opening ones there are: each search starts
// where the last one found nothing or past its find.
template <class View> class Closers {
public:
    explicit Closers(View text) : text_(text) { }
    // The first "[/NAME]" at or after `from`, or npos.
    std::size_t find(std::size_t from, std::string_view closer)
    {
        Found& found = closer == "[/img]" ? img_ : youtube_;
        if (found.searched && from >= found.from && (found.at == npos || found.at >= from)) return found.at;
        found = {true, from, npos};
        const Codes<View> text{text_};
        for (std::size_t i = from; i < text.size(); ++i)
            if (text[i] == U'[' && word_at(text_, i, closer)) {
                found.at = i;
                break;
            }
        return found.at;
    }

private:
    static constexpr std::size_t npos = std::string_view::npos;
    struct Found {
        bool searched = false;
        std::size_t from = 0, at = npos;
    };
    View text_;
    Found img_, youtube_;
};

// Hands `out` each part of `text` from `from` that is kept, in order. Braces
// are placeholders unless the text is MessageFormat, whose runs of text hold none.
template <class View, class Out> void plain_parts(View text, std::size_t from, Out& out, bool braces)
{
    Closers<View> closers(text);
    const std::string_view starts = braces ? "<{%[" : "<%[";
    for (std::size_t i = from; i < text.size();) {
        const char32_t c = value(text[i]);
        std::size_t length = 0;
        if (c == U'<') {
            length = tag_length(text, i);
        } else if (c == U'[') {
            const BbTag tag = bbcode_tag(text, i);
            length = tag.length;
            if (tag.draws) out.put(tag.draws);
            if (tag.hides_content) {
                const std::string_view closer = word_at(text, i + 1, "img") ? "[/img]" : "[/youtube]";
                const std::size_t end = closers.find(i + length, closer);
                if (end != std::string_view::npos) length = end + closer.size() - i;
            }
        } else if (c == U'{' && braces) {
            length = placeholder_length(text, i);
        } else if (c == U'%' && i + 1 < text.size() && value(text[i + 1]) == U'%') {
            out.keep(i, 1);
            length = 2;
        } else if (c == U'%') {
            length = conversion_length(text, i);
        }
        if (length == 0) {
            // Up to the next character a pattern can begin with, at once.
            std::size_t end = i + 1;
            while (end < text.size() && !one_of(value(text[end]), starts))
                ++end;
            out.keep(i, end - i);
            i = end;
        } else {
            i += length;
        }
    }
}

// ICU MessageFormat, as Flutter's .arb, i18next, Angular and FormatJS write
// it: "{n, plural, =0{没有} other{# 个文件}}". Its arguments are syntax;
// the sub-messages of plural, select and selectordinal are text, and their
// runs of text are stripped as any text is. ICU's apostrophes hold: '' is
// one, and one before a brace (or a # in a plural's sub-message) quotes up
// to the next.
template <class View, class Out> class MessageFormat {
public:
    // A trial only reads: it hands nothing on.
    MessageFormat(View text, Out& out, bool trial) : text_(text), codes_{text}, out_(out), trial_(trial) { }

    // Reads the whole text; false when it is not MessageFormat. `complex`
    // tells whether it had a plural, select or selectordinal argument.
    bool read() { return message(Parent::None, 0) && at_ == codes_.size(); }
    bool complex() const { return complex_; }

private:
    enum class Parent { None, Select, Plural };
    // Arguments nested deeper than this are not read as MessageFormat: no
    // real message comes near, and the reading recurses once a level.
    static constexpr int deepest = 32;

    bool is_space(char32_t c) const { return one_of(c, " \t\n\r\f\v"); }
    void skip_spaces()
    {
        while (at_ < codes_.size() && is_space(codes_[at_]))
            ++at_;
    }
    // An argument's name, a type or a selector: what is not space or syntax.
    std::size_t word()
    {
        const std::size_t start = at_;
        while (at_ < codes_.size() && !is_space(codes_[at_]) && !one_of(codes_[at_], "{}(),:=#'|<>"))
            ++at_;
        return at_ - start;
    }
    bool take(char32_t c)
    {
        if (at_ >= codes_.size() || codes_[at_] != c) return false;
        ++at_;
        return true;
    }
    void keep(std::size_t at, std::size_t length)
    {
        if (!trial_) out_.keep(at, length);
    }
    void text_run(std::size_t from, std::size_t to)
    {
        if (to > from && !trial_) plain_parts(text_.substr(0, to), from, out_, false);
    }

    // A message up to the '}' that ends it (left for the caller), or to the end at the top.
    bool message(Parent parent, int depth)
    {
        std::size_t run = at_;
        while (at_ < codes_.size()) {
            const char32_t c = codes_[at_];
            if (c == U'}') break;
            if (c == U'\'') {
                text_run(run, at_);
                apostrophe(parent);
                run = at_;
            } else if (c == U'{') {
                text_run(run, at_);
                if (!argument(depth)) return false;
                run = at_;
            } else if (c == U'#' && parent == Parent::Plural) {
                // The number: its digits are not text of the message.
                text_run(run, at_);
                run = ++at_;
            } else {
                ++at_;
            }
        }
        text_run(run, at_);
        return depth == 0 ? at_ == codes_.size() : at_ < codes_.size();
    }

    void apostrophe(Parent parent)
    {
        const std::size_t next = at_ + 1;
        const char32_t after = next < codes_.size() ? codes_[next] : 0;
        if (after == U'\'') {  // '' is one apostrophe
            keep(at_, 1);
            at_ += 2;
            return;
        }
        if (!(after == U'{' || after == U'}' || (after == U'#' && parent == Parent::Plural))) {
            keep(at_++, 1);  // a lone apostrophe is text
            return;
        }
        // Quoted up to the next lone apostrophe, or to the end of the text.
        for (at_ = next; at_ < codes_.size();) {
            std::size_t end = at_;
            while (end < codes_.size() && codes_[end] != U'\'')
                ++end;
            if (end > at_) keep(at_, end - at_);
            if (end + 1 < codes_.size() && codes_[end + 1] == U'\'') {
                keep(end, 1);
                at_ = end + 2;
            } else {
                at_ = std::min(end + 1, codes_.size());
                return;
            }
        }
    }

    // '{' name '}', '{' name ',' type [',' style] '}', or a plural or select
    // with its sub-messages. Only the sub-messages give text.
    bool argument(int depth)
    {
        if (depth >= deepest) return false;
        ++at_;  // '{'
        skip_spaces();
        if (word() == 0) return false;
        skip_spaces();
        if (take(U'}')) return true;
        if (!take(U',')) return false;
        skip_spaces();
        const std::size_t type_start = at_;
        const std::size_t type_length = word();
        const auto type_is = [&](std::string_view name) {
            return type_length == name.size() && word_at(text_, type_start, name);
        };
        if (type_length == 0 || type_is("choice")) return false;  // a choice's text is not told apart
        skip_spaces();
        const bool plural = type_is("plural") || type_is("selectordinal");
        if (!plural && !type_is("select")) {
            if (take(U'}')) return true;
            return take(U',') && style();
        }
        complex_ = true;
        if (!take(U',')) return false;
        skip_spaces();
        if (plural && word_at(text_, at_, "offset:")) {
            at_ += 7;
            skip_spaces();
            if (word() == 0) return false;
        }
        std::size_t cases = 0;
        for (;;) {
            skip_spaces();
            if (take(U'}')) return cases > 0;
            take(U'=');  // =0, =1: explicit values
            if (word() == 0) return false;
            skip_spaces();
            if (!take(U'{')) return false;
            if (!message(plural ? Parent::Plural : Parent::Select, depth + 1)) return false;
            ++at_;  // '}'
            ++cases;
        }
    }

    // A simple argument's style (", short", ", ::currency/EUR"): up to the
    // '}' that closes the argument, braces counted, quotes honoured.
    bool style()
    {
        std::size_t open = 0;
        for (; at_ < codes_.size(); ++at_) {
            const char32_t c = codes_[at_];
            if (c == U'\'') {
                if (++at_ >= codes_.size()) return false;
                while (at_ < codes_.size() && codes_[at_] != U'\'')
                    ++at_;
                if (at_ >= codes_.size()) return false;
            } else if (c == U'{') {
                ++open;
            } else if (c == U'}' && open-- == 0) {
                ++at_;
                return true;
            }
        }
        return false;
    }

    View text_;
    Codes<View> codes_;
    Out& out_;
    bool trial_;
    std::size_t at_ = 0;
    bool complex_ = false;
};

// Whether `text` may hold a plural or select argument: the reading is
// tried only then.
template <class View> bool may_be_message_format(View text)
{
    const Codes<View> codes{text};
    for (std::size_t i = text.find(typename View::value_type('{')); i < codes.size(); ++i) {
        const char32_t c = codes[i];
        if ((c == U'p' && word_at(text, i, "plural")) || (c == U's' && word_at(text, i, "select")))
            return true;
    }
    return false;
}

// Hands `keep` each part of `text` that is kept, in order, and `put` each
// character markup names.
template <class View, class Keep, class Put> void kept_parts(View text, Keep keep, Put put)
{
    Output<Keep, Put> out{keep, put};
    if (may_be_message_format(text)) {
        // Read once to learn whether it is MessageFormat, since a text that is
        // not must be read the other way from its start.
        MessageFormat<View, decltype(out)> trial(text, out, true);
        if (trial.read() && trial.complex()) {
            MessageFormat<View, decltype(out)>(text, out, false).read();
            return;
        }
    }
    plain_parts(text, 0, out, true);
}

}  // namespace

std::u32string strip_markup(std::u32string_view text)
{
    std::u32string kept;
    kept.reserve(text.size());
    kept_parts(
        text, [&](std::size_t at, std::size_t length) { kept.append(text.substr(at, length)); },
        [&](char32_t c) { kept += c; });
    return kept;
}

void strip_markup_in_place(std::string& text)
{
    // What is kept is a part at or after where it goes, so it moves down; a
    // character put is never longer than the tag it stands for.
    std::size_t written = 0;
    kept_parts(
        std::string_view(text),
        [&](std::size_t at, std::size_t length) {
            if (at != written) std::memmove(text.data() + written, text.data() + at, length);
            written += length;
        },
        [&](char32_t c) {
            std::string utf8;
            formats::append_utf8(utf8, c);
            std::memcpy(text.data() + written, utf8.data(), utf8.size());
            written += utf8.size();
        });
    text.resize(written);
}

}  // namespace charlib
