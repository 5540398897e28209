// What a program fills in or styles rather than draws: rich-text tags,
// placeholders in braces, printf conversions. Each pattern is matched by a
// scan that stops at the first character it cannot take, so the whole is
// linear in the text; what matches no pattern is kept.
#include <cstring>
#include <string_view>

#include "formats/entries.h"

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
        if (text[i] == U'<' || text[i] == U'\n' || text[i] == U'\r') return 0;
    }
    return 0;
}

// Where the '}' closing a placeholder body that begins at `from` is, or npos.
// A body is one name ({0}, {count}, {user.name}, { count }), maybe empty,
// then maybe a format in ASCII after ':' or ',' ({0:N2}, {:.2f}, {0,number}).
// Words, other characters and nested braces make it text: "{count, plural,
// one {...}}" stays whole.
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

// %s, %1$d, %.2f, %-5s, %lld, %@, %(name)s: the length taken, or 0. No space
// flag, so that "50 % des" stays; no %n, %o, %p, which start words.
template <class View> std::size_t conversion_length(View in, std::size_t at)
{
    const Codes<View> text{in};
    std::size_t i = at + 1;
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

}  // namespace

namespace {

// Hands `keep` each part of `text` that is kept, in order.
template <class View, class Keep> void kept_parts(View text, Keep keep)
{
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = value(text[i]);
        std::size_t length = 0;
        if (c == U'<') {
            length = tag_length(text, i);
        } else if (c == U'{') {
            length = placeholder_length(text, i);
        } else if (c == U'%' && i + 1 < text.size() && value(text[i + 1]) == U'%') {
            keep(i, 1);
            length = 2;
        } else if (c == U'%') {
            length = conversion_length(text, i);
        }
        if (length == 0) {
            // Up to the next character a pattern can begin with, at once.
            std::size_t end = i + 1;
            while (end < text.size() && !one_of(value(text[end]), "<{%"))
                ++end;
            keep(i, end - i);
            i = end;
        } else {
            i += length;
        }
    }
}

}  // namespace

std::u32string strip_markup(std::u32string_view text)
{
    std::u32string kept;
    kept.reserve(text.size());
    kept_parts(text, [&](std::size_t at, std::size_t length) { kept.append(text.substr(at, length)); });
    return kept;
}

void strip_markup_in_place(std::string& text)
{
    // What is kept is a part at or after where it goes, so it moves down.
    std::size_t written = 0;
    kept_parts(std::string_view(text), [&](std::size_t at, std::size_t length) {
        if (at != written) std::memmove(text.data() + written, text.data() + at, length);
        written += length;
    });
    text.resize(written);
}

}  // namespace charlib
