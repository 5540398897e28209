#include "codec/utf.h"

#include <cstdio>

namespace charlib {

std::string to_utf8(std::u32string_view characters)
{
    std::string text;
    append_utf8(text, characters);
    return text;
}

void append_utf8(std::string& text, std::u32string_view characters)
{
    std::size_t length = 0;
    for (const char32_t c : characters)
        length += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    std::size_t at = text.size();
    text.resize(at + length);
    char* out = text.data();
    for (const char32_t c : characters) {
        if (c < 0x80) {
            out[at++] = char(c);
        } else if (c < 0x800) {
            out[at++] = char(0xC0 | c >> 6);
            out[at++] = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out[at++] = char(0xE0 | c >> 12);
            out[at++] = char(0x80 | (c >> 6 & 0x3F));
            out[at++] = char(0x80 | (c & 0x3F));
        } else {
            out[at++] = char(0xF0 | c >> 18);
            out[at++] = char(0x80 | (c >> 12 & 0x3F));
            out[at++] = char(0x80 | (c >> 6 & 0x3F));
            out[at++] = char(0x80 | (c & 0x3F));
        }
    }
}

std::optional<std::u32string> from_utf8(std::string_view text)
{
    std::u32string characters;
    std::vector<InvalidPlace> invalid;
    decode_utf8(text, true, characters, &invalid);
    if (!invalid.empty()) return std::nullopt;
    return characters;
}

std::u32string utf8_characters(std::string_view text)
{
    std::u32string characters;
    decode_utf8(text, true, characters);
    return characters;
}

std::u16string to_utf16(std::u32string_view characters)
{
    std::u16string units;
    units.reserve(characters.size());
    for (char32_t c : characters) {
        if (c < 0x10000) {
            units += char16_t(c);
        } else {
            units += char16_t(0xD800 + ((c - 0x10000) >> 10));
            units += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return units;
}

std::u32string code_points(std::u16string_view text)
{
    std::u32string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        const bool pair =
            c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        result += pair ? 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00) : c;
    }
    return result;
}

std::string code_point_name(char32_t c)
{
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(c));
    return name;
}

std::size_t decode_utf8(
    std::string_view bytes, bool last, std::u32string& characters, std::vector<InvalidPlace>* invalid)
{
    const std::size_t first = characters.size(), noted = invalid ? invalid->size() : 0;
    characters.resize(first + bytes.size());  // never more characters than bytes
    std::size_t produced = 0;
    const std::size_t used = decode_utf8(bytes, last, characters.data() + first, produced, invalid);
    characters.resize(first + produced);
    for (std::size_t k = noted; invalid && k < invalid->size(); ++k)
        (*invalid)[k].character += first;
    return used;
}

std::size_t decode_utf8(std::string_view bytes, bool last, char32_t* out, std::size_t& produced,
    std::vector<InvalidPlace>* invalid)
{
    const auto* const begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* p = begin;
    const auto* const end = p + bytes.size();
    char32_t* const out_begin = out;
    while (p < end) {
        // The common cases first, each in a tight loop of its own: ASCII, and
        // three-byte sequences without special ranges (hanzi and the like).
        while (p < end && *p < 0x80)
            *out++ = *p++;
        while (end - p >= 3 && *p >= 0xE1 && *p <= 0xEF && *p != 0xED && (p[1] & 0xC0) == 0x80 &&
            (p[2] & 0xC0) == 0x80) {
            *out++ = (*p & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
            p += 3;
        }
        if (p == end || *p < 0x80) continue;
        const Utf8Character one = decode_one(p, end);
        // A sequence cut off by the end of these bytes may go on in the next.
        if (one.cut_off && !last) break;
        if (!one.well_formed && invalid)
            invalid->push_back(
                {static_cast<std::size_t>(p - begin), static_cast<std::size_t>(out - out_begin)});
        *out++ = one.value;
        p += one.length;
    }
    produced = static_cast<std::size_t>(out - out_begin);
    return static_cast<std::size_t>(p - begin);
}

}  // namespace charlib
