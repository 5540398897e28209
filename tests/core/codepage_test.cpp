#include <gtest/gtest.h>

#include "text/codepage.h"

namespace {

std::string bytes(std::initializer_list<unsigned char> list)
{
    return {list.begin(), list.end()};
}

TEST(Decode, FollowsMicrosoftsTable)
{
    EXPECT_EQ(charlib::decode(bytes({0x61, 0xD6, 0xD0, 0xCE, 0xC4})), u"a中文");
    EXPECT_EQ(charlib::decode(bytes({0x80})), u"\u20AC");
    EXPECT_EQ(charlib::decode(bytes({0xFF})), u"\uF8F5");
    EXPECT_EQ(charlib::decode(bytes({0xA1, 0xA1})), u"\u3000");
    EXPECT_EQ(charlib::decode(""), u"");
}

TEST(Decode, BadLeadByteIsReportedAloneAndTheNextByteIsDecodedAgain)
{
    EXPECT_EQ(charlib::decode(bytes({0x81})), u"\uFFFD");
    EXPECT_EQ(charlib::decode(bytes({0x81, 0x0D})), u"\uFFFD\r");
    EXPECT_EQ(charlib::decode(bytes({0x81, 0x7F})), u"\uFFFD\u007F");
    EXPECT_EQ(charlib::decode(bytes({0x81, 0xFF})), u"\uFFFD\uF8F5");
    EXPECT_EQ(charlib::decode(bytes({0x81, 0x30, 0x41})), u"\uFFFD0A");
    EXPECT_EQ(charlib::decode(bytes({0xD6, 0xD6, 0xD0})), u"\u79CD\uFFFD");
}

// The fast extraction relies on this shape of the table: every byte from
// 0x81 to 0xFE is a lead byte, a lead byte with a trail byte (0x40-0xFE but
// 0x7F) is always one character, and anything else splits.
TEST(Decode, EveryLeadAndTrailPairIsOneCharacterAndNothingElseIs)
{
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned next = 0; next <= 0xFF; ++next) {
            const bool trail = next >= 0x40 && next <= 0xFE && next != 0x7F;
            const std::u16string text =
                charlib::decode(bytes({static_cast<unsigned char>(lead), static_cast<unsigned char>(next)}));
            ASSERT_EQ(text.size(), trail ? 1u : 2u) << std::hex << lead << " " << next;
            if (trail) {
                ASSERT_NE(text[0], u'\uFFFD');
                ASSERT_EQ(charlib::encode(text),
                    bytes({static_cast<unsigned char>(lead), static_cast<unsigned char>(next)}));
            }
        }
    }
}

TEST(Encode, WritesCodePage936AndQuestionMarksForTheRest)
{
    EXPECT_EQ(charlib::encode(u"a中"), bytes({0x61, 0xD6, 0xD0}));
    EXPECT_EQ(charlib::encode(u"\u20AC\uF8F5"), bytes({0x80, 0xFF}));
    EXPECT_EQ(charlib::encode(u"\u00C0"), "?");
    EXPECT_EQ(charlib::encode(u"\U0001F600x"), "?x");
    EXPECT_EQ(charlib::encode(std::u16string(1, char16_t(0xD800)) + u"x"), "?x");
    EXPECT_EQ(charlib::encode(u"\uFFFD"), "?");
    EXPECT_EQ(charlib::encode(u""), "");
}

TEST(Encode, NeverWritesControlZ)
{
    std::u16string every;
    for (char32_t c = 1; c < 0x10000; ++c)
        if (c < 0xD800 || c > 0xDFFF) every += static_cast<char16_t>(c);
    EXPECT_EQ(charlib::encode(every).find('\x1A'), std::string::npos);
    EXPECT_EQ(charlib::encode(u"\u001A"), "?");
}

}  // namespace
