#include <unicode/ucnv.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/ascii.h"
#include "codec/encodings.h"
#include "codec/stream_decoder.h"
#include "codec/utf.h"
#include "readers.h"

namespace charlib {

std::size_t MemoryBytes::read_at(std::uint64_t offset, char* buffer, std::size_t size) const
{
    if (offset >= bytes_.size()) return 0;
    const std::size_t count = std::min<std::size_t>(size, bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, bytes_.data() + offset, count);
    return count;
}

namespace formats {

namespace {

constexpr std::size_t piece_size = std::size_t{1} << 20;
constexpr std::size_t places_kept = 100;

}  // namespace

TextEncoding text_encoding(Encoding encoding)
{
    return {encoding, encoding_name(encoding)};
}

std::optional<TextEncoding> declared_encoding(std::string_view name)
{
    const std::string lowered = ascii_lower(name);
    // Code page 936 as Windows writes it, whatever the file calls it: GB2312
    // files are written by tools that write GBK.
    if (lowered == "gbk" || lowered == "gb2312" || lowered == "cp936" || lowered == "windows-936" ||
        lowered == "euc-cn" || lowered == "x-gbk")
        return text_encoding(Encoding::Gbk);
    if (const std::optional<Encoding> known = encoding_named(lowered)) return text_encoding(*known);
    if (lowered == "utf-16") return text_encoding(Encoding::Utf16Be);  // without a mark, big-endian
    if (name.empty() || name.size() > 64) return std::nullopt;
    UErrorCode error = U_ZERO_ERROR;
    const std::string wanted(name);
    UConverter* converter = ucnv_open(wanted.c_str(), &error);
    if (U_FAILURE(error) || !converter) return std::nullopt;
    ucnv_close(converter);
    return TextEncoding{std::nullopt, wanted};
}

std::optional<TextEncoding> byte_order_mark(std::string_view head)
{
    // UTF-32LE's mark begins with UTF-16LE's.
    if (head.starts_with(std::string_view("\xFF\xFE\0\0", 4))) return TextEncoding{std::nullopt, "UTF-32LE"};
    if (head.starts_with(std::string_view("\0\0\xFE\xFF", 4))) return TextEncoding{std::nullopt, "UTF-32BE"};
    if (head.starts_with("\xEF\xBB\xBF")) return text_encoding(Encoding::Utf8);
    if (head.starts_with("\xFF\xFE")) return text_encoding(Encoding::Utf16Le);
    if (head.starts_with("\xFE\xFF")) return text_encoding(Encoding::Utf16Be);
    return std::nullopt;
}

std::optional<Decoded> decode_text(const ByteSource& bytes, const TextEncoding& encoding, bool give_up_on_invalid)
{
    StreamDecoder decoder =
        encoding.known ? StreamDecoder(*encoding.known) : StreamDecoder(encoding.name.c_str());
    Decoded decoded;
    decoded.encoding = encoding.name;
    // Room for the text at once: a byte of UTF-8 stays one, two bytes of the
    // others become at most three.
    const std::uint64_t size = bytes.size();
    const bool wider = !encoding.known || *encoding.known != Encoding::Utf8;
    decoded.text.reserve(static_cast<std::size_t>(wider ? size + size / 2 : size) + 4);
    std::vector<std::size_t> invalid_characters;  // where the first places are, counted in characters
    const std::unique_ptr<char[]> buffer(new char[piece_size]);
    std::vector<InvalidPlace> invalid;
    std::uint64_t offset = 0;
    for (bool last = false; !last;) {
        const std::size_t count = bytes.read_at(offset, buffer.get(), piece_size);
        offset += count;
        last = count == 0;
        invalid.clear();
        const std::u32string_view characters = decoder.decode({buffer.get(), count}, last, &invalid);
        if (!invalid.empty() && give_up_on_invalid) return std::nullopt;
        charlib::append_utf8(decoded.text, characters);
        for (const InvalidPlace& place : invalid) {
            ++decoded.invalid;
            if (decoded.first_invalid.size() >= places_kept) continue;
            decoded.first_invalid.push_back({0, place.byte + 1});
            invalid_characters.push_back(place.character);
        }
    }
    // Each place's line, counted in the text now that it is whole.
    if (!invalid_characters.empty()) {
        std::size_t character = 0, at = 0;
        const LineIndex lines(decoded.text);
        for (std::size_t i = 0; i < invalid_characters.size(); ++i) {
            // Walk the UTF-8 text to the place's character.
            while (character < invalid_characters[i] && at < decoded.text.size()) {
                const auto byte = static_cast<unsigned char>(decoded.text[at]);
                at += byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
                ++character;
            }
            decoded.first_invalid[i].line = lines.line(std::min(at, decoded.text.size()));
        }
    }
    return decoded;
}

std::uint64_t LineIndex::line(std::size_t offset) const
{
    move_to(offset);
    return line_;
}

std::uint64_t LineIndex::column(std::size_t offset) const
{
    move_to(offset);
    const bool on_from_last = column_at_ >= line_start_ && column_at_ <= offset;
    std::uint64_t column = on_from_last ? column_ : 1;
    for (std::size_t i = on_from_last ? column_at_ : line_start_; i < offset && i < text_.size(); ++i)
        if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) ++column;
    column_at_ = offset;
    column_ = column;
    return column;
}

void LineIndex::move_to(std::size_t offset) const
{
    offset = std::min(offset, text_.size());
    if (offset >= at_) {
        for (std::size_t i = at_; i < offset; ++i)
            if (ends_line(i)) {
                ++line_;
                line_start_ = i + 1;
            }
    } else {
        // Back: the line ends passed over, then the start of the line reached.
        for (std::size_t i = offset; i < at_; ++i)
            if (ends_line(i)) --line_;
        line_start_ = offset;
        while (line_start_ > 0 && !ends_line(line_start_ - 1))
            --line_start_;
    }
    at_ = offset;
}

void append_utf8(std::string& out, char32_t c)
{
    if (c >= 0xD800 && c <= 0xDFFF) c = U'\uFFFD';
    charlib::append_utf8(out, std::u32string_view(&c, 1));
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void SurrogateJoiner::add(char32_t unit)
{
    if (high_ && unit >= 0xDC00 && unit <= 0xDFFF) {
        append_utf8(out_, 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
        high_ = 0;
        return;
    }
    finish();
    if (unit >= 0xD800 && unit <= 0xDBFF)
        high_ = unit;
    else
        append_utf8(out_, unit);  // a lone low half is U+FFFD
}

void SurrogateJoiner::finish()
{
    if (high_) append_utf8(out_, U'\uFFFD');
    high_ = 0;
}

}  // namespace formats

}  // namespace charlib
