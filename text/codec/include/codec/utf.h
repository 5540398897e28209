#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Every conversion between UTF-8, UTF-16 and code points, in one place.
namespace charlib {

std::string to_utf8(std::u32string_view characters);
// The same, appended to `text`, which grows by exactly what it takes.
void append_utf8(std::string& text, std::u32string_view characters);
// The characters of UTF-8 text, or nothing when it is not well-formed.
std::optional<std::u32string> from_utf8(std::string_view text);
// The same, invalid sequences read as U+FFFD, as ICU reads them.
std::u32string utf8_characters(std::string_view text);
std::u16string to_utf16(std::u32string_view characters);
// UTF-16 to code points: a surrogate pair is one, a lone surrogate stays.
std::u32string code_points(std::u16string_view text);
// "U+4E2D".
std::string code_point_name(char32_t c);

// Where an ill-formed sequence began: its first byte and its U+FFFD.
struct InvalidPlace {
    std::size_t byte = 0;
    std::size_t character = 0;
};

// UTF-8 decoded as ICU decodes it: each maximal part of an ill-formed
// sequence becomes one U+FFFD, noted in `invalid` when given. Decodes whole
// sequences only, and returns how many bytes it used; at the end of the
// input (`last`) it uses them all.
std::size_t decode_utf8(std::string_view bytes, bool last, std::u32string& characters,
    std::vector<InvalidPlace>* invalid = nullptr);
// The same into `out`, which has room for a character per byte; `produced`
// tells how many it wrote, and the places count from `out`.
std::size_t decode_utf8(std::string_view bytes, bool last, char32_t* out, std::size_t& produced,
    std::vector<InvalidPlace>* invalid);

// One UTF-8 character at p, as ICU decodes it: a well-formed sequence, or
// U+FFFD for the longest start of one that breaks off (at least one byte).
// Reads nothing at or past `end`; `cut_off` says the start broke off only
// because `end` came, so more bytes could make it whole.
struct Utf8Character {
    char32_t value = 0;
    std::size_t length = 1;  // bytes taken
    bool well_formed = true;
    bool cut_off = false;
};

inline Utf8Character decode_one(const unsigned char* p, const unsigned char* end)
{
    const unsigned lead = *p;
    if (lead < 0x80) return {lead};
    // The length of the sequence and the range of its second byte.
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    }
    std::size_t good = length == 0 ? 0 : 1;
    char32_t value = length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    while (good > 0 && good < length && p + good < end) {
        const unsigned next = p[good];
        if (next < (good == 1 ? low : 0x80) || next > (good == 1 ? high : 0xBF)) break;
        value = value << 6 | (next & 0x3F);
        ++good;
    }
    if (good == length && length > 0) return {value, length};
    return {U'\uFFFD', good == 0 ? 1 : good, false, length > 0 && p + good == end};
}

}  // namespace charlib
