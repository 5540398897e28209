// -e auto: which encoding a source is taken to be, and what the user is told.
#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <random>

#include "base/types.h"
#include "extract/extract.h"
#include "output/output.h"
#include "simd/kernel.h"
#include "sources/detection.h"
#include "temp_dir.h"

namespace charlib {

// What a reason is when a test fails: its code and its numbers.
// (Found by GoogleTest beside Outcome.)
void PrintTo(const Outcome& outcome, std::ostream* out)
{
    *out << code_id(outcome.code);
    for (const Field& field : outcome.fields)
        *out << " " << field.name << "="
             << (outcome.text(field.name).empty() ? std::to_string(outcome.number(field.name))
                                                  : outcome.text(field.name));
}

}  // namespace charlib

namespace {

using namespace charlib;

std::string encoded(const char* encoding, std::u16string_view text)
{
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(encoding, &error);
    std::string bytes(text.size() * 4 + 8, '\0');
    bytes.resize(static_cast<std::size_t>(ucnv_fromUChars(converter, bytes.data(),
        static_cast<int32_t>(bytes.size()), text.data(), static_cast<int32_t>(text.size()), &error)));
    ucnv_close(converter);
    return bytes;
}

std::string repeated(std::string_view text, std::size_t times)
{
    std::string all;
    for (std::size_t i = 0; i < times; ++i)
        all += text;
    return all;
}

Outcome utf8(std::uint64_t multibyte, std::uint64_t invalid = 0)
{
    if (invalid == 0) return {Code::ValidUtf8, {{"multibyte", multibyte}}};
    return {Code::MostlyUtf8, {{"multibyte", multibyte}, {"invalid", invalid}}};
}

Outcome gb18030_four(std::uint64_t four_byte, std::uint64_t invalid = 0)
{
    Outcome reason(Code::Gb18030FourByte, {{"four_byte", four_byte}});
    if (invalid) reason.with("invalid", invalid);
    return reason;
}

Outcome utf16(Code code, const char* encoding, std::uint64_t percent = 0)
{
    Outcome reason(code, {{"encoding", std::string(encoding)}});
    if (code == Code::Utf16MostlyCjk) reason.with("percent", percent);
    return reason;
}

TEST(Detection, TellsEncodingsApartAndSaysWhy)
{
    const Outcome not_unicode(Code::DefaultEncoding), bom(Code::Bom);
    const std::string gb18030 = encoded("gb18030", u"你好\U0001F600" + std::u16string(40, u'中'));
    struct Case {
        std::string bytes;
        bool complete;
        Encoding encoding;
        Outcome reason;
        bool guessed;
    };
    const Case cases[] = {
        {"", true, Encoding::Gbk, Outcome(Code::EmptyFile), false},
        {"plain ASCII\r\n", true, Encoding::Gbk, Outcome(Code::AsciiOnly), false},
        {"\xEF\xBB\xBF\xFF", true, Encoding::Utf8, bom, false},  // the mark decides
        {"\xFF\xFE\x61", true, Encoding::Utf16Le, bom, false},
        {"\xFE\xFF", true, Encoding::Utf16Be, bom, false},
        {"\x84\x31\x95\x33", true, Encoding::Gb18030, bom, false},
        {"中文\n", true, Encoding::Utf8, utf8(2), false},
        // A stray byte at each end of more than a buffer, a character across the buffers' border.
        {std::string(1, '\xFF') + "a" + repeated("中文字", 120000) + "\xFF", true, Encoding::Utf8,
            utf8(360000, 2), true},
        {"中文\xFF", true, Encoding::Gbk, not_unicode, true},  // too short to forgive
        {"中文\xE4\xB8", false, Encoding::Utf8, utf8(2), false},  // more may follow
        {"中文\xE4\xB8", true, Encoding::Gbk, not_unicode, true},
        {"\xC4\xE3\xBA\xC3\xC2\xF0", true, Encoding::Gbk, not_unicode, true},  // 你好吗
        // 丂丄: ideographs in UTF-16BE too, but clean code page 936.
        {"\x81\x40\x81\x41", true, Encoding::Gbk, not_unicode, true},
        // Latin-1, whose pairs of ASCII letters would be ideographs in UTF-16.
        {"snake_case_names_in_a_caf\xE9 !", true, Encoding::Gbk, not_unicode, true},
        {encoded("gb18030", u"你好\U00020000\U0001F600\u3400\r\n"), true, Encoding::Gb18030, gb18030_four(3),
            true},
        {gb18030 + "\x95\x32\x82", false, Encoding::Gb18030, gb18030_four(1), true},
        {gb18030 + "\x95\x32\x82", true, Encoding::Gb18030, gb18030_four(1, 1), true},
        {"\xC4\xE3\xE3\x32\x9A\x36", true, Encoding::Gbk, not_unicode, true},  // past U+10FFFF: not mapped
        {encoded("UTF-16LE", u"Hello, world\r\n"), true, Encoding::Utf16Le,
            utf16(Code::Utf16Pattern, "UTF-16LE"), true},
        {encoded("UTF-16BE", u"Hello, world\r\n"), true, Encoding::Utf16Be,
            utf16(Code::Utf16Pattern, "UTF-16BE"), true},
        {encoded("UTF-16LE", u"Hello") + "!", true, Encoding::Gbk, Outcome(Code::AsciiOnly),
            false},  // odd length
        {encoded("UTF-16LE", u"Hello") + "!", false, Encoding::Utf16Le, utf16(Code::Utf16Pattern, "UTF-16LE"),
            true},
        {encoded("UTF-16LE", u"汉字编码，中文文本。"), true, Encoding::Utf16Le,
            utf16(Code::Utf16MostlyCjk, "UTF-16LE", 100), true},
        {encoded("UTF-16BE", u"第一行中文\r\n第二行中文\r\n"), true, Encoding::Utf16Be,
            utf16(Code::Utf16MostlyCjk, "UTF-16BE", 100), true},
        {encoded("UTF-16LE", u"汉字编码") + std::string("\x00\xD8", 2) + encoded("UTF-16LE", u"中文"), true,
            Encoding::Gbk, not_unicode, true},  // an unpaired surrogate
    };
    TempDir dir;
    for (const Case& c : cases) {
        for (const Kernel* kernel : runnable_kernels()) {
            const Detection found = detect(c.bytes, c.complete, *kernel);
            EXPECT_EQ(std::tuple(found.encoding, found.reason, found.guessed),
                std::tuple(c.encoding, c.reason, c.guessed))
                << testing::PrintToString(c.bytes.substr(0, 40)) << (c.complete ? "" : " (cut)") << ", "
                << kernel->name;
        }
        const Detection found = detect(c.bytes, c.complete);
        if (!c.complete) continue;
        const Detection read = detect(dir.write("t.txt", c.bytes));
        EXPECT_EQ(std::tuple(read.encoding, read.reason, read.guessed),
            std::tuple(found.encoding, found.reason, found.guessed));
    }
    // Only the first 64 MiB count.
    EXPECT_EQ(detect(std::string(std::size_t{64} << 20, 'a') + "\xD6\xD0", true).reason,
        Outcome(Code::AsciiOnly, {{"looked_at", Bytes{std::uint64_t{64} << 20}}}));
}

// Invalid sequences as ICU finds them, and the characters it decodes.
std::pair<std::size_t, std::u32string> decoded(const char* encoding, const std::string& bytes)
{
    std::size_t invalid = 0;
    const auto count = [](const void* context, UConverterToUnicodeArgs* args, const char* units,
                           int32_t length, UConverterCallbackReason reason, UErrorCode* error) {
        if (reason <= UCNV_IRREGULAR) ++*static_cast<std::size_t*>(const_cast<void*>(context));
        UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, units, length, reason, error);
    };
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(encoding, &error);
    ucnv_setToUCallBack(converter, count, &invalid, nullptr, nullptr, &error);
    std::u16string units(bytes.size() + 8, u'\0');
    units.resize(static_cast<std::size_t>(ucnv_toUChars(converter, units.data(),
        static_cast<int32_t>(units.size()), bytes.data(), static_cast<int32_t>(bytes.size()), &error)));
    ucnv_close(converter);
    return {invalid, code_points(units)};
}

// The counts in the reasons come from bit masks over 64 bytes at a time;
// they must be ICU's, with stray bytes anywhere, with every kernel.
TEST(Detection, CountsSequencesAsIcuDecodesThem)
{
    const std::u16string pool = u"a1\n中文\u00C0\u3400\u20AC\U00020000\U0001F600";
    static const std::string_view stray[] = {"\x80", "\xBF", "\xC0", "\xC2", "\xE0\x80", "\xE0\xA0",
        "\xED\xA0\x80", "\xF0\x8F", "\xF0\x90\x80", "\xF4\x90", "\xF5", "\xFF", "\x81", "\x81\x30",
        "\x81\x30\x81", "\xE3\x32\x9A\x36", "\x81\xFF", "\x30"};
    const auto kernels = runnable_kernels();
    std::mt19937 random(18030);
    for (int round = 0; round < 400 / rounds_divisor; ++round) {
        const Kernel& kernel = *kernels[static_cast<std::size_t>(round) / 4 % kernels.size()];
        const char* const encoding = round % 4 < 2 ? "UTF-8" : "gb18030";
        std::vector<std::string> characters;
        for (std::size_t i = 0; i < pool.size(); i += 1 + (pool[i] >= 0xD800 && pool[i] < 0xDC00))
            characters.push_back(
                encoded(encoding, pool.substr(i, pool[i] >= 0xD800 && pool[i] < 0xDC00 ? 2 : 1)));
        std::string bytes;
        for (std::size_t length = random() % 6000; bytes.size() < length;) {
            // In half the rounds the characters beyond the first five (ASCII and hanzi) are rare,
            // so that one may begin anywhere in a 64-byte block.
            const bool plain = round % 8 >= 4 && random() % 32;
            bytes += characters[random() % (plain ? 5 : characters.size())];
            if (random() % 64 == 0) bytes += stray[random() % std::size(stray)];
        }
        const auto [invalid, text] = decoded(encoding, bytes);
        std::size_t valid = 0, four = 0;  // multi-byte sequences, and GB18030's of four bytes
        for (char32_t c : text)
            if (c >= 0x80 && c != U'\uFFFD') {
                ++valid;
                four += encoded("gb18030", to_utf16({&c, 1})).size() == 4;
            }
        const bool is_utf8 = round % 4 < 2;
        const Outcome reason = is_utf8 ? utf8(valid, invalid) : gb18030_four(four, invalid);
        const Detection found = detect(bytes, true, kernel);
        if (valid > 0 && invalid * 20 <= valid && (is_utf8 || four > 0))
            EXPECT_EQ(found.reason, reason) << "round " << round << ", " << kernel.name;
        else
            EXPECT_NE(found.encoding, is_utf8 ? Encoding::Utf8 : Encoding::Gb18030) << "round " << round;
    }
}

}  // namespace
