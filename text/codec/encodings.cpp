#include "base/ascii.h"
#include "codec/encodings.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "codec/code_page_936.h"
#include "codec/icu_converter.h"
#include "codec/utf.h"

namespace charlib {

std::string encoding_name(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Gbk: return "gbk";
    case Encoding::Gb18030: return "gb18030";
    case Encoding::Utf8: return "utf-8";
    case Encoding::Utf16Le: return "utf-16le";
    case Encoding::Utf16Be: return "utf-16be";
    }
    return "gbk";
}

std::string encoding_name(const SourceEncoding& encoding)
{
    return encoding.known ? encoding_name(*encoding.known) : encoding.other;
}

std::optional<Encoding> encoding_named(std::string_view name)
{
    const std::string key = ascii_lower(name);
    static const std::pair<const char*, Encoding> names[] = {{"gbk", Encoding::Gbk}, {"cp936", Encoding::Gbk},
        {"windows-936", Encoding::Gbk}, {"ms936", Encoding::Gbk}, {"gb2312", Encoding::Gbk},
        {"euc-cn", Encoding::Gbk}, {"gb18030", Encoding::Gb18030}, {"utf-8", Encoding::Utf8},
        {"utf8", Encoding::Utf8}, {"utf-16le", Encoding::Utf16Le}, {"utf16le", Encoding::Utf16Le},
        {"utf-16be", Encoding::Utf16Be}, {"utf16be", Encoding::Utf16Be}};
    for (const auto& [known, encoding] : names)
        if (key == known) return encoding;
    return std::nullopt;
}

Newline default_newline(Encoding encoding)
{
    return encoding == Encoding::Gbk ? Newline::Legacy : Newline::Any;
}

Encoded encode_output(std::u32string_view characters, OutputEncoding encoding)
{
    Encoded encoded;
    if (encoding == OutputEncoding::Utf8) {
        encoded.bytes = to_utf8(characters);
        return encoded;
    }
    std::optional<IcuConverter> gb18030;
    if (encoding == OutputEncoding::Gb18030) gb18030.emplace("gb18030");
    std::unordered_set<char32_t> listed;
    for (char32_t c : characters) {
        if (c < 0x80 && c != 0x1A) {
            encoded.bytes += char(c);
            continue;
        }
        std::string bytes;
        if (gb18030 && c != 0x1A) {
            const std::u16string text = to_utf16(std::u32string_view(&c, 1));
            char out[8];
            UErrorCode status = U_ZERO_ERROR;
            const int32_t length = ucnv_fromUChars(
                gb18030->get(), out, sizeof out, text.data(), static_cast<int32_t>(text.size()), &status);
            if (U_SUCCESS(status)) bytes.assign(out, static_cast<std::size_t>(length));
        } else if (!gb18030) {
            bytes = code_page_bytes(c);
        }
        if (bytes.empty()) {
            bytes = "?";
            if (c == U'\uFFFD')
                encoded.replaced_invalid = true;
            else if (listed.insert(c).second)
                encoded.unmappable += c;
        }
        encoded.bytes += bytes;
    }
    return encoded;
}

}  // namespace charlib
