#include <unicode/ucnv.h>

#include <algorithm>

#include "codec/encodings.h"
#include "codec/icu_converter.h"
#include "codec/stream_decoder.h"
#include "codec/utf.h"
#include "readers.h"

namespace charlib::formats {

Decoded decode_text(std::string_view bytes, Encoding encoding)
{
    StreamDecoder decoder(encoding);
    std::vector<InvalidPlace> invalid;
    const std::u32string_view characters = decoder.decode(bytes, true, &invalid);
    return {to_utf8(characters), encoding_name(encoding), invalid.size()};
}

std::optional<Decoded> decode_named(std::string_view bytes, std::string_view name)
{
    std::string wanted(name);
    std::string lowered = wanted;
    std::transform(
        lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char c) { return std::tolower(c); });
    // Code page 936 as Windows writes it, whatever the file calls it: GB2312
    // files are written by tools that write GBK.
    if (lowered == "gbk" || lowered == "gb2312" || lowered == "cp936" || lowered == "windows-936" ||
        lowered == "euc-cn" || lowered == "x-gbk")
        return decode_text(bytes, Encoding::Gbk);
    if (const std::optional<Encoding> known = encoding_named(lowered)) return decode_text(bytes, *known);
    if (lowered == "utf-16") {
        const std::optional<Encoding> mark = byte_order_mark(bytes);
        return decode_text(bytes, mark ? *mark : Encoding::Utf16Be);
    }
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(wanted.c_str(), &error);
    if (U_FAILURE(error) || !converter) return std::nullopt;
    ucnv_close(converter);
    IcuConverter icu(wanted.c_str());
    std::u16string units(bytes.size() + 1, u'\0');
    error = U_ZERO_ERROR;
    const int32_t length = ucnv_toUChars(icu.get(), units.data(), static_cast<int32_t>(units.size()),
        bytes.data(), static_cast<int32_t>(bytes.size()), &error);
    if (U_FAILURE(error)) return std::nullopt;
    units.resize(static_cast<std::size_t>(length));
    Decoded decoded{to_utf8(code_points(units)), wanted, 0};
    decoded.invalid = static_cast<std::uint64_t>(std::count(units.begin(), units.end(), u'\uFFFD'));
    return decoded;
}

std::optional<Encoding> byte_order_mark(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF")) return Encoding::Utf8;
    if (bytes.starts_with("\xFF\xFE")) return Encoding::Utf16Le;
    if (bytes.starts_with("\xFE\xFF")) return Encoding::Utf16Be;
    return std::nullopt;
}

LineIndex::LineIndex(std::string_view text) : text_(text)
{
    starts_.push_back(0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        if (text[i] == '\n' || text[i] == '\r') starts_.push_back(i + 1);
    }
}

std::uint64_t LineIndex::line(std::size_t offset) const
{
    return static_cast<std::uint64_t>(
        std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin());
}

std::uint64_t LineIndex::column(std::size_t offset) const
{
    const std::size_t start = starts_[line(offset) - 1];
    const bool on_from_last = last_offset_ >= start && last_offset_ <= offset;
    std::uint64_t column = on_from_last ? last_column_ : 1;
    for (std::size_t i = on_from_last ? last_offset_ : start; i < offset && i < text_.size(); ++i)
        if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) ++column;
    last_offset_ = offset;
    last_column_ = column;
    return column;
}

std::u32string characters_of(std::string_view utf8)
{
    std::u32string characters;
    decode_utf8(utf8, true, characters);
    return characters;
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::u32string joined_surrogates(const std::u32string& units)
{
    std::u32string characters;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            characters += 0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else {
            characters += unit >= 0xD800 && unit <= 0xDFFF ? U'\uFFFD' : unit;
        }
    }
    return characters;
}

}  // namespace charlib::formats
