#pragma once

#include <string>
#include <string_view>

namespace charlib {

// Code page 936 (GBK, Microsoft's table). These two functions are the only
// place that knows how the conversion is done, so another platform can put
// its own converter here.

// Invalid bytes become U+FFFD; a lead byte without a valid trail byte is
// reported alone and the next byte is decoded again.
std::u16string decode(std::string_view bytes);

// Characters the code page cannot represent become '?'. Nothing ever comes
// out as 0x1A (Control-Z ends a text file for many readers), not even U+001A.
std::string encode(std::u16string_view text);

// The code page's bytes for one character, or nothing when it has none
// (U+001A and U+FFFD have none: one ends a text, the other marks bytes that
// could not be decoded).
std::string code_page_bytes(char32_t c);

// True when the byte can begin a double-byte character.
inline bool is_lead_byte(unsigned char byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}
// True when the byte can end a double-byte character: 0x40-0xFE but 0x7F.
inline bool is_trail_byte(unsigned char byte)
{
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

}  // namespace charlib
