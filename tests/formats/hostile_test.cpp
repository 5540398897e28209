// Files made to hurt a reader: a megabyte of one pathology each, which every
// reader must take in time linear in its size (ctest's timeout for this
// program catches a quadratic path: they took from 5 s to hours before) and
// without holding more than its text, giving its entries or saying where
// the file goes wrong.
#include <gtest/gtest.h>

#include <functional>

#include "entries_check.h"

namespace charlib {
namespace {

constexpr std::size_t megabyte = std::size_t{1} << 20;

// `unit` repeated to fill about a megabyte between `head` and `tail`.
std::string filled(std::string_view head, std::string_view unit, std::string_view tail)
{
    return std::string(head) + repeated(unit, (megabyte - head.size() - tail.size()) / unit.size()) +
        std::string(tail);
}

struct Hostile {
    const char* name;
    TextFormat format;
    std::function<std::string()> make;
    std::uint64_t entries = 0;  // expected when it reads
    std::string error = {};  // expected in the message when it does not: the place and the reason
    const char* path = "hostile";
};

void check(const std::vector<Hostile>& cases)
{
    for (const Hostile& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string bytes = test.make();
        std::uint64_t entries = 0;
        try {
            read_entries(test.format, MemoryBytes(bytes), test.path, {},
                [&](std::string&, std::string_view, std::uint64_t, std::uint64_t) { ++entries; });
            EXPECT_EQ(test.error, "") << "read whole";
            EXPECT_EQ(entries, test.entries);
        } catch (const Failure& failure) {
            const std::string said = words(failure, Language::Chinese);
            ASSERT_NE(test.error, "") << said;
            EXPECT_NE(said.find(test.error), std::string::npos) << said;
            // A message quotes a little of the file, never a megabyte of it.
            EXPECT_LT(said.size(), 500u);
        }
    }
}

TEST(HostileFiles, Json)
{
    check({
        {"arrays nested half a million deep", TextFormat::Json,
            [] { return repeated("[", megabyte / 2) + repeated("]", megabyte / 2); }},
        {"objects nested deep around one string", TextFormat::Json,
            [] { return repeated("{\"a\":", megabyte / 5) + "\"深\"" + repeated("}", megabyte / 5); }, 1},
        {"a quarter of a million one-letter strings", TextFormat::Json,
            [] { return filled("[", "\"a\",", "\"a\"]"); }, (megabyte - 5) / 4 + 1},
        // Numbers are not text: one too large for a double, or a megabyte long, is passed over.
        {"numbers no double holds", TextFormat::Json,
            [] { return "{\"a\":\"你好\",\"n\":1e400,\"m\":-" + repeated("9", megabyte) + ".5e-99999}"; }, 1},
        {"a megabyte of digits ending in a bad fraction", TextFormat::Json,
            [] { return "[" + repeated("1", megabyte) + ".]"; }, 0, "expected digit after '.'"},
        {"a megabyte of escapes", TextFormat::Json, [] { return filled("[\"", "\\u00e9", "\"]"); }, 1},
    });
}

TEST(HostileFiles, YamlAndCsv)
{
    check({
        {"flow sequences nested as deep as read", TextFormat::Yaml,
            [] { return repeated("[", 64) + filled("", "a,", "a") + repeated("]", 64); },
            (megabyte - 1) / 2 + 1},
        {"one flow sequence deeper", TextFormat::Yaml, [] { return repeated("[", megabyte); }, 0,
            "第 1 行第 65 列：YAML 嵌套太深：这里的 [ ] 或 { } 已嵌套 65 层"},
        {"a quarter of a million sequence entries", TextFormat::Yaml, [] { return filled("", "- a\n", ""); },
            megabyte / 4},
        {"an anchor on every entry, an alias for each", TextFormat::Yaml,
            [] { return "a: &x 值\nb: [" + filled("", "*x, ", "*x]\n"); }, 1},
        {"a header row of half a million columns", TextFormat::Csv,
            [] { return filled("", "h,", "h\n") + filled("", "a,", "a\n"); }, megabyte / 2},
        {"a cell of a megabyte of quotes", TextFormat::Csv,
            [] { return "h\n\"" + repeated("\"\"", megabyte / 2) + "\"\n"; }, 1},
        {"a megabyte of one-cell rows", TextFormat::Csv, [] { return filled("h\n", "a\n", ""); },
            (megabyte - 2) / 2},
    });
}

TEST(HostileFiles, PoAndSubtitles)
{
    // Two megabytes of messages: libgettextpo reads them a piece at a time,
    // and the places and errors of the second piece are the file's own.
    std::string messages;
    std::uint64_t count = 0;
    while (messages.size() < 2 * megabyte)
        messages += "msgid \"m" + std::to_string(count++) + "\"\nmsgstr \"译\"\n\n";
    std::string domains;
    for (int i = 0; i <= 1000; ++i)
        domains += "domain \"d" + std::to_string(i) + "\"\nmsgid \"a\"\nmsgstr \"b\"\n";
    const std::string srt_cue = "1\n00:00:01,000 --> 00:00:02,000\n";
    check({
        {"two megabytes of messages", TextFormat::Po, [&] { return messages; }, count},
        {"a broken message in the second piece", TextFormat::Po,
            [&] { return messages + "msgid \"x\"\nmsgstr \"y\n"; }, 0,
            "第 " + std::to_string(3 * count + 2) + " 行"},
        {"a thousand and one domains", TextFormat::Po, [&] { return domains; }, 0,
            "第 3001 行第 1 列：PO 文件格式错误：domain 超过 1000 个"},
        {"a line of continued strings", TextFormat::Po,
            [] { return "msgid \"a\"\nmsgstr \"\"\n" + filled("", "\"字\"\n", ""); }, 1},
        {"a line of unclosed override blocks", TextFormat::Srt,
            [&] { return srt_cue + filled("", "{\\", "\n"); }, 1},
        {"a line of unclosed tags", TextFormat::Srt, [&] { return srt_cue + filled("", "<a", "\n"); }, 1},
        {"numbers without timing lines", TextFormat::Srt, [] { return filled("", "1\n", ""); }},
        {"a line of ampersands", TextFormat::Vtt,
            [] { return "WEBVTT\n\n00:01.000 --> 00:02.000\n" + filled("", "&", "\n"); }, 1},
        {"a line of less-thans", TextFormat::Vtt,
            [] { return "WEBVTT\n\n00:01.000 --> 00:02.000\n" + filled("", "<", "\n"); }},
    });
}

TEST(HostileFiles, PlatformStringsAndMarkup)
{
    check({
        {"a megabyte of pairs", TextFormat::Strings, [] { return filled("", "\"a\"=\"b\";", ""); },
            megabyte / 8},
        {"a megabyte of escapes", TextFormat::Strings, [] { return filled("\"a\"=\"", "\\U0041", "\";"); },
            1},
        {"a line continued a third of a million times", TextFormat::Properties,
            [] { return filled("a=", "b\\\n", ""); }, 1},
        {"escaped separators in one key", TextFormat::Properties, [] { return filled("", "\\=", "=v"); }, 1},
        // Markup is stripped from every entry: its patterns are scanned once.
        {"half a million unclosed braces", TextFormat::Json, [] { return filled("[\"", "{a", "\"]"); }, 1},
        {"half a million conversions that are not", TextFormat::Json,
            [] { return filled("[\"", "%1", "\"]"); }, 1},
    });
}

// About a megabyte each, in the shapes that made DOM parsers slow or large.
TEST(HostileFiles, XmlAndHtml)
{
    const auto xliff = [](const std::string& unit, std::size_t count) {
        return "<xliff version=\"1.2\"><file><body>" + repeated(unit, count) + "</body></file></xliff>";
    };
    check({
        {"xliff: many tiny units", TextFormat::Xliff,
            [&] { return xliff("<trans-unit id=\"x\"><target>a</target></trans-unit>", megabyte / 50); },
            megabyte / 50},
        {"xliff: inline codes nested as deep as allowed, many times", TextFormat::Xliff,
            [&] {
                return xliff("<trans-unit id=\"x\"><target>" + repeated("<g>", 1000) + "a" +
                        repeated("</g>", 1000) + "</target></trans-unit>",
                    megabyte / 7000);
            },
            megabyte / 7000},
        {"android: one string with a hundred thousand attributes", TextFormat::Android,
            [] {
                return "<resources><string name=\"a\"" + numbered(" a", "=\"\"", 100000) +
                    ">x</string></resources>";
            },
            1},
        {"resx: many tiny values", TextFormat::Resx,
            [] {
                return "<root>" + repeated("<data name=\"a\"><value>b</value></data>", megabyte / 38) +
                    "</root>";
            },
            megabyte / 38},
        {"html: many tiny paragraphs", TextFormat::Html,
            [] { return "<html><body>" + repeated("<p>a", megabyte / 4); }, megabyte / 4},
        {"html: formatting elements left open before many paragraphs", TextFormat::Html,
            [] { return "<p>" + numbered("<b id=", ">", 1000) + "x</p>" + repeated("<p>x</p>", 125000); },
            125001},
        {"html: end tags that close nothing under deep nesting", TextFormat::Html,
            [] { return repeated("<div>", 1000) + "x" + repeated("</x>", megabyte / 4); }, 1},
        {"html: elements nested past the limit", TextFormat::Html,
            [] { return repeated("<div>", megabyte / 5); }, 0, "嵌套超过"},
        {"html: attributes past the limit", TextFormat::Html,
            [] { return "<p" + numbered(" a", "", megabyte / 7) + ">x</p>"; }, 0, "属性超过"},
        {"html: many tags with attributes just under the limit", TextFormat::Html,
            [] { return repeated("<p" + numbered(" a", "", 1000) + ">x", 150); }, 150},
    });
}

// Markup is stripped from every entry: a megabyte of one pathology each,
// MessageFormat nested and broken, BBCode unclosed, in linear time, the
// same on code points as on UTF-8 in place.
TEST(HostileFiles, Markup)
{
    const auto nested = [](std::size_t depth) {
        return repeated("{a, select, other{", depth) + "字" + repeated("}", 2 * depth);
    };
    const auto all = [](std::size_t size) { return size; };
    const auto none = [](std::size_t) { return std::size_t{0}; };
    const struct {
        const char* name;
        std::string text;
        std::function<std::size_t(std::size_t)> kept;  // bytes of UTF-8 left of so many
    } cases[] = {
        // Past the limit, or broken, a text is stripped as other text: here that keeps it whole.
        {"arguments nested past the limit", filled("{n, plural, other{", "{a, select, other{", ""), all},
        {"arguments nested to the limit, many times", filled("", nested(32), ""),
            [&](std::size_t size) { return size / nested(32).size() * 3; }},
        {"a plural's sub-message of numbers", filled("{n, plural, other{", "#", "}}"), none},
        {"quotes that open before braces", filled("{n, plural, other{", "'{", "}}"),
            [](std::size_t size) { return size - 2; }},  // all but the "{}" at the end
        {"a simple argument's style never closed", filled("{n, plural, other{x}}{d, date, ", "{", ""),
            [](std::size_t size) { return size - 3; }},
        {"half a million tags that are not", filled("{n, select, other{", "<a", "}}"),
            [](std::size_t size) { return size - 20; }},
        {"images never closed", filled("", "[img]", ""), none},
        {"images closed", filled("", "[img]a[/img]", ""), none},
        {"tags whose values never close", filled("", "[color=", ""), all},
        {"names too long to be tags", filled("", "[" + repeated("b", 30), ""), all},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        std::string in_place = test.text;
        strip_markup_in_place(in_place);
        EXPECT_EQ(in_place.size(), test.kept(test.text.size()));
        EXPECT_EQ(to_utf8(strip_markup(utf8_characters(test.text))), in_place);
    }
}

}  // namespace
}  // namespace charlib
