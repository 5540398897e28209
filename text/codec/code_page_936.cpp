#include "codec/code_page_936.h"

#include <unicode/ucnv.h>

#include "codec/icu_converter.h"
#include "codec/utf.h"

namespace charlib {

namespace {

// Microsoft's table: 0x80 is the euro sign, 0xFF maps to U+F8F5.
constexpr const char* converter_name = "windows-936-2000";

UConverter* converter()
{
    // One converter per thread: ICU converters keep state and are not shared.
    thread_local const IcuConverter instance = [] {
        IcuConverter opened(converter_name);
        // Invalid bytes decode to U+FFFD and unmappable characters encode to
        // the substitution character, which this table already has as '?'.
        UErrorCode error = U_ZERO_ERROR;
        ucnv_setSubstChars(opened.get(), "?", 1, &error);
        return opened;
    }();
    return instance.get();
}

}  // namespace

std::u16string decode(std::string_view bytes)
{
    // Streamed in slices so that texts beyond ICU's 32-bit lengths work too.
    constexpr std::size_t slice = std::size_t{1} << 28;
    UConverter* conv = converter();
    ucnv_resetToUnicode(conv);
    // Every byte sequence of this code page gives at most one code unit per byte.
    std::u16string text(bytes.size(), u'\0');
    UChar* out = text.data();
    const char* in = bytes.data();
    const char* const end = in + bytes.size();
    do {
        const char* slice_end = end - in > static_cast<std::ptrdiff_t>(slice) ? in + slice : end;
        UErrorCode error = U_ZERO_ERROR;
        ucnv_toUnicode(
            conv, &out, text.data() + text.size(), &in, slice_end, nullptr, slice_end == end, &error);
        if (U_FAILURE(error)) break;
    } while (in != end);
    text.resize(static_cast<std::size_t>(out - text.data()));
    return text;
}

std::string encode(std::u16string_view text)
{
    constexpr std::size_t slice = std::size_t{1} << 28;
    UConverter* conv = converter();
    ucnv_resetFromUnicode(conv);
    // Two bytes per character at most; a surrogate pair becomes one '?'.
    std::string bytes(text.size() * 2, '\0');
    char* out = bytes.data();
    const UChar* in = text.data();
    const UChar* const end = in + text.size();
    do {
        const UChar* slice_end = end - in > static_cast<std::ptrdiff_t>(slice) ? in + slice : end;
        UErrorCode error = U_ZERO_ERROR;
        ucnv_fromUnicode(
            conv, &out, bytes.data() + bytes.size(), &in, slice_end, nullptr, slice_end == end, &error);
        if (U_FAILURE(error)) break;
    } while (in != end);
    bytes.resize(static_cast<std::size_t>(out - bytes.data()));
    // U+001A is the only character that would come out as Control-Z.
    for (char& byte : bytes)
        if (byte == '\x1A') byte = '?';
    return bytes;
}

std::string code_page_bytes(char32_t c)
{
    if (c == U'\x1A' || c == U'\uFFFD') return {};
    const std::u16string text = to_utf16(std::u32string_view(&c, 1));
    std::string bytes = encode(text);
    return decode(bytes) == text ? bytes : std::string();
}

}  // namespace charlib
