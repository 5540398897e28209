// What a program fills in or styles rather than draws: rich-text tags,
// placeholders in braces, printf conversions. Each pattern is matched by a
// scan that stops at the first character it cannot take, so the whole is
// linear in the text; what matches no pattern is kept.
#include <string_view>

#include "formats/entries.h"

namespace charlib {

namespace {

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
std::size_t tag_length(std::u32string_view text, std::size_t at)
{
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
std::size_t body_end(std::u32string_view text, std::size_t from)
{
    std::size_t i = from;
    while (i < text.size() && text[i] == U' ')
        ++i;
    const std::size_t name_start = i;
    while (i < text.size() && (is_ascii_letter(text[i]) || is_digit(text[i]) || one_of(text[i], "_.$-")))
        ++i;
    const bool named = i > name_start;
    while (i < text.size() && text[i] == U' ')
        ++i;
    if (i >= text.size()) return std::u32string_view::npos;
    if (text[i] == U'}') return named || i == from ? i : std::u32string_view::npos;  // "{}" but not "{ }"
    if (text[i] != U':' && !(text[i] == U',' && named)) return std::u32string_view::npos;
    for (++i; i < text.size(); ++i) {
        if (text[i] == U'}') return i;
        if (text[i] < 0x20 || text[i] > 0x7E || text[i] == U'{') return std::u32string_view::npos;
    }
    return std::u32string_view::npos;
}

// {0}, {name}, {{count}}: the length taken, or 0.
std::size_t placeholder_length(std::u32string_view text, std::size_t at)
{
    if (at + 1 < text.size() && text[at + 1] == U'{') {
        // Only as a pair: "{{0}" keeps its first brace (the caller then tries the second).
        const std::size_t end = body_end(text, at + 2);
        return end != std::u32string_view::npos && end + 1 < text.size() && text[end + 1] == U'}'
            ? end + 2 - at
            : 0;
    }
    const std::size_t end = body_end(text, at + 1);
    return end == std::u32string_view::npos ? 0 : end + 1 - at;
}

// %s, %1$d, %.2f, %-5s, %lld, %@, %(name)s: the length taken, or 0. No space
// flag, so that "50 % des" stays; no %n, %o, %p, which start words.
std::size_t conversion_length(std::u32string_view text, std::size_t at)
{
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

std::u32string strip_markup(std::u32string_view text)
{
    std::u32string kept;
    kept.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        if (text[i] == U'<') {
            length = tag_length(text, i);
        } else if (text[i] == U'{') {
            length = placeholder_length(text, i);
        } else if (text[i] == U'%' && i + 1 < text.size() && text[i + 1] == U'%') {
            kept += U'%';
            length = 2;
        } else if (text[i] == U'%') {
            length = conversion_length(text, i);
        }
        if (length == 0)
            kept += text[i++];
        else
            i += length;
    }
    return kept;
}

}  // namespace charlib
