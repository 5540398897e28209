// decode and encode on arbitrary bytes and arbitrary UTF-16.

#include <cstring>

#include "../fuzz_input.h"
#include "codec/code_page_936.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Every byte gives at most one character; text that came from the code
    // page goes back to it and comes out the same, but for what had no
    // place in it (U+FFFD, U+001A), which becomes '?'.
    const std::u16string text = charlib::decode(bytes);
    FUZZ_CHECK(text.size() <= bytes.size());
    const std::string encoded = charlib::encode(text);
    FUZZ_CHECK(encoded.find('\x1A') == std::string::npos);
    std::u16string expected = text;
    for (char16_t& c : expected)
        if (c == u'\uFFFD' || c == u'\x1A') c = u'?';
    FUZZ_CHECK(charlib::decode(encoded) == expected);

    // Any UTF-16, valid or not, encodes without Control-Z, at most two bytes a unit.
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    const std::string any = charlib::encode(units);
    FUZZ_CHECK(any.find('\x1A') == std::string::npos);
    FUZZ_CHECK(any.size() <= units.size() * 2);
    return 0;
}
