#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "formats/entries.h"

namespace charlib {
namespace {

struct Expected {
    std::u32string text;
    std::string key;
    std::uint64_t line = 0, column = 0;  // 0: not checked
};

struct Case {
    const char* name;
    TextFormat format;
    std::string bytes;
    const char* path;
    std::vector<Expected> entries;
    std::optional<Encoding> forced = std::nullopt;
    const char* encoding = nullptr;  // as read_entries names it; nullptr: not checked
};

const std::string translated_po = R"(# Translator comment
msgid ""
msgstr ""
"Content-Type: text/plain; charset=UTF-8\n"
"Plural-Forms: nplurals=2; plural=(n != 1);\n"

#: src/main.c:10
msgid "Open"
msgstr "打开"

#, fuzzy
msgctxt "menu"
msgid "File"
msgstr ""
"文件"
"菜单"

msgid "%d file"
msgid_plural "%d files"
msgstr[0] "%d 个文件"
msgstr[1] "%d 个文件们"

msgid "Tab"
msgstr "制表\t符\"引号\"\n"

#~ msgid "Old"
#~ msgstr "旧的"
msgid "Untranslated"
msgstr ""
)";

const std::string template_po = R"(msgid ""
msgstr ""
"Content-Type: text/plain; charset=CHARSET\n"

msgid "Save"
msgstr ""

msgid "One item"
msgid_plural "%d items"
msgstr[0] ""
msgstr[1] ""
)";

const std::vector<Expected> template_entries{
    {U"Save", "Save", 5, 8}, {U"One item", "One item", 8}, {U"%d items", "One item", 9, 15}};

// 你好乗 in GBK; the last byte of 乗 is a backslash.
const std::string gbk_po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=GBK\\n\"\n\n"
                           "msgid \"Hello\"\nmsgstr \"\xC4\xE3\xBA\xC3\x81\x5C\"\n";

const std::vector<Case> cases{
    {"po", TextFormat::Po, translated_po, "zh.po",
        {{U"打开", "Open", 9, 9}, {U"文件菜单", "menu", 15, 2}, {U"%d 个文件", "%d file", 20},
            {U"%d 个文件们", "%d file", 21}, {U"制表\t符\"引号\"\n", "Tab", 24}},
        std::nullopt, "utf-8"},
    {"pot", TextFormat::Po, template_po, "app.pot", template_entries},
    {"po with empty msgstrs", TextFormat::Po, template_po, "app.po", template_entries},
    {"GBK po", TextFormat::Po, gbk_po, "zh.po", {{U"你好乗", "Hello", 5}}, std::nullopt, "gbk"},
    {"forced encoding over the header", TextFormat::Po,
        "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\nmsgid \"Hi\"\nmsgstr "
        "\"\xC4\xE3\"\n",
        "zh.po", {{U"你", "Hi"}}, Encoding::Gbk, "gbk"},
    {"srt", TextFormat::Srt,
        "1\r\n00:00:01,000 --> 00:00:04,000 X1:100\r\n<i>Hello</i> {\\an8}there\r\n"
        "<font color=\"#ff0000\">second</font> line\r\n\r\n\r\n"
        "00:00:05,000 --> 00:00:06,000\r\n<b>No number</b>\r\n\r\n"
        "7\r\nStray block without timing\r\n\r\n3\r\n00:00:07,000 --> 00:00:08,000\r\na < b, a<b c<i>!</i>",
        "a.srt",
        {{U"Hello there\nsecond line", "1", 3, 1}, {U"No number", "2", 8}, {U"a < b, a<b c!", "3", 15}}},
    {"srt without blank lines", TextFormat::Srt,
        "1\n00:00:01,000 --> 00:00:02,000\nOne\n2\n00:00:03,000 --> 00:00:04,000\nTwo\n", "a.srt",
        {{U"One", "1", 3}, {U"Two", "2", 6}}},
    {"vtt", TextFormat::Vtt,
        "WEBVTT - Movie subtitles\nKind: captions\n\nSTYLE\n::cue { color: yellow }\n\n"
        "NOTE This is a comment\nspanning lines\n\n"
        "intro\n00:01.000 --> 00:04.000 align:start position:10%\n<v Roger Bingham>We are in New York</v>\n\n"
        "00:00:05.000 --> 00:00:06.000\n<c.loud>Tom &amp; Jerry</c> &#x4e2D;&#25991; &lt;3&nbsp;<i>ok</i> "
        "<lang "
        "en>fine</lang>\n"
        "<ruby>漢<rt>kan</rt></ruby><00:00:05.500>字\n",
        "a.vtt",
        {{U"We are in New York", "intro", 12, 1}, {U"Tom & Jerry 中文 <3\u00A0ok fine\n漢kan字", "2", 15}}},
};

TEST(PoSubtitlesEntries, ReadsWhatIsShown)
{
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        EntryOptions options;
        options.encoding = test.forced;
        const EntriesRead read = read_entries(test.format, test.bytes, test.path, options);
        ASSERT_EQ(read.entries.size(), test.entries.size());
        for (std::size_t i = 0; i < test.entries.size(); ++i) {
            const Expected& expected = test.entries[i];
            EXPECT_EQ(read.entries[i].text, expected.text) << i;
            EXPECT_EQ(read.entries[i].key, expected.key) << i;
            if (expected.line) EXPECT_EQ(read.entries[i].line, expected.line) << i;
            if (expected.column) EXPECT_EQ(read.entries[i].column, expected.column) << i;
        }
        if (test.encoding) EXPECT_EQ(read.encoding, test.encoding);
    }
}

TEST(PoSubtitlesEntries, MalformedFilesSayWhere)
{
    const struct {
        TextFormat format;
        std::string bytes;
        const char* place;
    } cases[]{
        {TextFormat::Po, "msgid \"a\"\nmsgstr \"b\"\n\nmsgid \"c\"\nmsgstr x\n", "第 5 行第 1 列"},
        {TextFormat::Po, "msgid \"a\\q\"\nmsgstr \"b\"\n", "第 1 行第 10 列"},
        {TextFormat::Po, "msgid \"a\"\nmsgstr \"b\n\nmsgid \"c\"\nmsgstr \"d\"\n", "第 2 行第 8 列"},
        {TextFormat::Vtt, "1\n00:01.000 --> 00:02.000\nHi\n", "第 1 行第 1 列"},
        {TextFormat::Vtt, "WEBVTTX\n\n00:01.000 --> 00:02.000\nHi\n", "第 1 行第 1 列"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.bytes);
        try {
            read_entries(test.format, test.bytes, "bad", {});
            ADD_FAILURE() << "no error";
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find(test.place), std::string::npos) << error.what();
        }
    }
}

}  // namespace
}  // namespace charlib
