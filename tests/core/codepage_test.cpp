// Code page 936 as Microsoft's table has it, both ways; UTF-8 read whole or not at all.
#include <gtest/gtest.h>

#include "codec/code_page_936.h"
#include "codec/stream_decoder.h"
#include "codec/utf.h"

namespace {

std::string bytes(std::initializer_list<unsigned char> list)
{
    return {list.begin(), list.end()};
}

TEST(Decode, FollowsMicrosoftsTableAndReportsABadLeadByteAlone)
{
    const std::pair<std::string, std::u16string> cases[] = {
        {bytes({0x61, 0xD6, 0xD0, 0xCE, 0xC4}), u"a中文"},
        {bytes({0x80}), u"\u20AC"},
        {bytes({0xFF}), u"\uF8F5"},
        {bytes({0xA1, 0xA1}), u"\u3000"},
        {"", u""},
        // A lead byte without a trail byte is U+FFFD and the next byte is decoded again.
        {bytes({0x81}), u"\uFFFD"},
        {bytes({0x81, 0x0D}), u"\uFFFD\r"},
        {bytes({0x81, 0x30, 0x41}), u"\uFFFD0A"},
        {bytes({0xD6, 0xD6, 0xD0}), u"\u79CD\uFFFD"},
    };
    for (const auto& [encoded, text] : cases)
        EXPECT_EQ(charlib::decode(encoded), text) << testing::PrintToString(encoded);
}

// Text that must be UTF-8 (a manifest's lines, a family name) is taken whole or refused.
TEST(Utf8, ATextIsTakenWholeOrNotAtAll)
{
    const std::pair<std::string, std::optional<std::u32string>> cases[] = {
        {"a\xE4\xB8\xAD", U"a中"},
        {"", U""},
        {"\xE4\xB8", std::nullopt},  // cut short at the end
        {"\xC0\x80", std::nullopt},  // overlong
        {"\xED\xA0\x80", std::nullopt},  // a surrogate
        {"\xF4\x90\x80\x80", std::nullopt},  // past U+10FFFF
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(charlib::from_utf8(text), expected) << testing::PrintToString(text);
}

// The fast extraction relies on this shape of the table: every byte from
// 0x81 to 0xFE is a lead byte, a lead byte with a trail byte (0x40-0xFE but
// 0x7F) is always one character, and anything else splits.
TEST(Decode, EveryLeadAndTrailPairIsOneCharacterAndNothingElseIs)
{
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned next = 0; next <= 0xFF; ++next) {
            const bool trail = next >= 0x40 && next <= 0xFE && next != 0x7F;
            const std::string pair =
                bytes({static_cast<unsigned char>(lead), static_cast<unsigned char>(next)});
            const std::u16string text = charlib::decode(pair);
            ASSERT_EQ(text.size(), trail ? 1u : 2u) << std::hex << lead << " " << next;
            ASSERT_EQ(trail ? charlib::encode(text) : pair, pair) << std::hex << lead << " " << next;
        }
    }
}

TEST(Encode, WritesCodePage936AndQuestionMarksForTheRestButNeverControlZ)
{
    const std::pair<std::u16string, std::string> cases[] = {
        {u"a中", bytes({0x61, 0xD6, 0xD0})},
        {u"\u20AC\uF8F5", bytes({0x80, 0xFF})},
        {u"\U0001F600x", "?x"},
        {std::u16string(1, char16_t(0xD800)) + u"x", "?x"},
        {u"\uFFFD", "?"},
        {u"\u001A", "?"},
    };
    for (const auto& [text, encoded] : cases)
        EXPECT_EQ(charlib::encode(text), encoded) << testing::PrintToString(encoded);
    std::u16string every;
    for (char32_t c = 1; c < 0x10000; ++c)
        if (c < 0xD800 || c > 0xDFFF) every += static_cast<char16_t>(c);
    EXPECT_EQ(charlib::encode(every).find('\x1A'), std::string::npos);
}

// A stream is decoded in pieces as it comes: a character cut by the end of
// a piece goes on in the next, and each invalid sequence counts once, where
// it is.
TEST(StreamDecoding, PiecesOfAnySizeGiveWhatTheWholeGives)
{
    using charlib::Encoding;
    using namespace std::string_literals;  // the NUL bytes of UTF-16 stay
    const std::pair<Encoding, std::string> cases[] = {
        {Encoding::Utf8, "a\xE4\xB8\xAD\xF0\x9F\x98\x80\xC3\xA9\xFF\xE4\xB8 z\xED\xA0\x80\xE6\x96\x87"},
        {Encoding::Gbk, "a\xD6\xD0\xCE\xC4\x81\x30\xFF\x80\xD6"},
        {Encoding::Gb18030, "\x81\x30\x81\x30\xD6\xD0\x95\x32\x82\x36x\x81"},
        {Encoding::Utf16Le, "\xFF\xFE\x2D\x4E\x3D\xD8\x00\xDE\x00\xDC"
                            "a"s},  // a lone low half, then half a unit
        {Encoding::Utf16Be, "\x4E\x2D\xD8\x3D\xDE\x00\x00"s},
        {Encoding::Utf16Be, "\x4E\x2D\xD8\x3D\xDE"},  // a high half, cut
    };
    for (const auto& [encoding, text] : cases) {
        std::vector<charlib::InvalidPlace> invalid;
        const std::u32string whole(charlib::StreamDecoder(encoding).decode(text, true, &invalid));
        for (std::size_t piece : {1, 2, 3, 5}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(encoding) << ", pieces of " << piece);
            charlib::StreamDecoder decoder(encoding);
            std::u32string joined;
            std::vector<charlib::InvalidPlace> places;
            for (std::size_t at = 0; at < text.size(); at += piece)
                joined += decoder.decode(
                    std::string_view(text).substr(at, piece), at + piece >= text.size(), &places);
            EXPECT_EQ(joined, whole);
            ASSERT_EQ(places.size(), invalid.size());
            for (std::size_t i = 0; i < places.size(); ++i) {  // found where the whole finds them
                EXPECT_EQ(places[i].byte, invalid[i].byte) << i;
                EXPECT_EQ(places[i].character, invalid[i].character) << i;
            }
        }
    }
}

}  // namespace
