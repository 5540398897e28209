#include <gtest/gtest.h>

#include "entries_check.h"

namespace charlib {
namespace {

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
    {"Save", "Save", 5, 8}, {"One item", "One item", 8}, {"%d items", "One item", 9, 15}};

// 你好乗 in GBK; the last byte of 乗 is a backslash.
const std::string gbk_po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=GBK\\n\"\n\n"
                           "msgid \"Hello\"\nmsgstr \"\xC4\xE3\xBA\xC3\x81\x5C\"\n";

TEST(PoSubtitlesEntries, ReadsWhatIsShown)
{
    const Read cases[] = {
        {"po", TextFormat::Po, "zh.po", translated_po,
            {{"打开", "Open", 9, 9}, {"文件菜单", "menu", 15, 2}, {"%d 个文件", "%d file", 20},
                {"%d 个文件们", "%d file", 21}, {"制表\t符\"引号\"\n", "Tab", 24}},
            {}, "utf-8"},
        {"pot", TextFormat::Po, "app.pot", template_po, template_entries},
        {"po with empty msgstrs", TextFormat::Po, "app.po", template_po, template_entries},
        {"GBK po", TextFormat::Po, "zh.po", gbk_po, {{"你好乗", "Hello", 5}}, {}, "gbk"},
        {"forced encoding over the header", TextFormat::Po, "zh.po",
            "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\nmsgid \"Hi\"\nmsgstr "
            "\"\xC4\xE3\"\n",
            {{"你", "Hi"}}, {.encoding = Encoding::Gbk, .columns = {}}, "gbk"},
        {"srt", TextFormat::Srt, "a.srt",
            "1\r\n00:00:01,000 --> 00:00:04,000 X1:100\r\n<i>Hello</i> {\\an8}there\r\n"
            "<font color=\"#ff0000\">second</font> line\r\n\r\n\r\n"
            "00:00:05,000 --> 00:00:06,000\r\n<b>No number</b>\r\n\r\n"
            "7\r\nStray block without timing\r\n\r\n3\r\n00:00:07,000 --> 00:00:08,000\r\na < b, a<b "
            "c<i>!</i>",
            {{"Hello there\nsecond line", "1", 3, 1}, {"No number", "2", 8}, {"a < b, a<b c!", "3", 15}}},
        {"srt without blank lines", TextFormat::Srt, "a.srt",
            "1\n00:00:01,000 --> 00:00:02,000\nOne\n2\n00:00:03,000 --> 00:00:04,000\nTwo\n",
            {{"One", "1", 3}, {"Two", "2", 6}}},
        {"vtt", TextFormat::Vtt, "a.vtt",
            "WEBVTT - Movie subtitles\nKind: captions\n\nSTYLE\n::cue { color: yellow }\n\n"
            "NOTE This is a comment\nspanning lines\n\n"
            "intro\n00:01.000 --> 00:04.000 align:start position:10%\n<v Roger Bingham>We are in New "
            "York</v>\n\n"
            "00:00:05.000 --> 00:00:06.000\n<c.loud>Tom &amp; Jerry</c> &#x4e2D;&#25991; "
            "&lt;3&nbsp;<i>ok</i> "
            "<lang en>fine</lang>\n<ruby>漢<rt>kan</rt></ruby><00:00:05.500>字\n",
            {{"We are in New York", "intro", 12, 1}, {"Tom & Jerry 中文 <3\u00A0ok fine\n漢kan字", "2", 15}}},
    };
    for (const Read& test : cases)
        expect_read(test);
}

TEST(PoSubtitlesEntries, MalformedFilesSayWhere)
{
    const Refused cases[] = {
        {TextFormat::Po, "msgid \"a\"\nmsgstr \"b\"\n\nmsgid \"c\"\nmsgstr x\n",
            {Code::PoSyntax, 5, 1, {"detail~keyword \"x\" unknown"}}},  // libgettextpo's reason, on the same line
        {TextFormat::Po, "msgid \"a\\q\"\nmsgstr \"b\"\n",
            {Code::PoSyntax, 1, 10, {"detail~invalid control sequence"}}},
        {TextFormat::Po, "msgid \"a\"\nmsgstr \"b\n\nmsgid \"c\"\nmsgstr \"d\"\n",
            {Code::PoSyntax, 2, 8, {"detail~"}}},
        {TextFormat::Vtt, "1\n00:01.000 --> 00:02.000\nHi\n", {Code::VttNoHeader, 1, 1}},
        {TextFormat::Vtt, "WEBVTTX\n\n00:01.000 --> 00:02.000\nHi\n", {Code::VttNoHeader, 1, 1}},
    };
    for (const Refused& test : cases)
        expect_refused(test);
}

}  // namespace
}  // namespace charlib
