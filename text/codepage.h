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

}  // namespace charlib
