// What XML and HTML files may not do to the readers: fetch anything, expand
// entities without end, nest or repeat without bound. Each hostile input is
// about a megabyte; none may take long (ctest's timeout catches a hang).
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <utility>

#include "base/error.h"
#include "codec/utf.h"
#include "formats/entries.h"

namespace charlib {
namespace {

std::string repeated(std::string_view piece, std::size_t times)
{
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

// Pieces numbered from 0: "<b id=0>", "<b id=1>"...
std::string numbered(std::string_view before, std::string_view after, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text.append(before).append(std::to_string(i)).append(after);
    return text;
}

// The error read_entries throws, or "" when the file is read.
std::string error_of(TextFormat format, const std::string& bytes, std::size_t* count = nullptr)
{
    try {
        const EntriesRead read = read_entries(format, bytes, "t", {});
        if (count) *count = read.entries.size();
        return "";
    } catch (const FileError& error) {
        return error.what();
    }
}

struct Refused {
    const char* name;
    TextFormat format;
    std::string bytes;
    const char* place;
    const char* reason;
};

void expect_refused(const Refused& test)
{
    SCOPED_TRACE(test.name);
    const std::string error = error_of(test.format, test.bytes);
    ASSERT_FALSE(error.empty()) << "no error";
    EXPECT_NE(error.find(test.place), std::string::npos) << error;
    EXPECT_NE(error.find(test.reason), std::string::npos) << error;
}

const std::string laughs = R"(<!DOCTYPE resources [
<!ENTITY a "ha">
<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
<!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">
<!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">
<!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;">
<!ENTITY f "&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;">
<!ENTITY g "&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;">
<!ENTITY h "&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;">
<!ENTITY i "&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;">
<!ENTITY j "&i;&i;&i;&i;&i;&i;&i;&i;&i;&i;">
]>
)";

TEST(MarkupLimits, XmlEntitiesAreNeverFetchedAndExpandWithinBounds)
{
    const std::string big_entity =
        "<!DOCTYPE resources [<!ENTITY big \"" + std::string(1 << 16, 'x') + "\">]>\n<resources>";
    const Refused cases[] = {
        {"an external entity in text", TextFormat::Android,
            "<!DOCTYPE resources [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>\n<resources><string "
            "name=\"a\">x&e;</string></resources>",
            "第 2 行第 30 列", "外部实体“&e;”（file:///etc/passwd）不会被读取"},
        {"an external entity in an attribute", TextFormat::Resx,
            "<!DOCTYPE root [<!ENTITY e SYSTEM \"http://example.com/\">]>\n<root><data name=\"&e;\"/></root>",
            "第 2 行第 19 列", "外部实体“&e;”不会被读取"},
        {"an entity only an unread external DTD could define", TextFormat::Xliff,
            "<!DOCTYPE xliff SYSTEM \"xliff.dtd\">\n<xliff><file><body><trans-unit id=\"1\"><target>&nbsp;"
            "</target></trans-unit></body></file></xliff>",
            "第 2 行第 47 列", "未定义的实体“&nbsp;”"},
        {"an entity declared after an unread parameter entity", TextFormat::Android,
            "<!DOCTYPE resources [<!ENTITY % ext SYSTEM \"ext.dtd\"> %ext; <!ENTITY app \"A\">]>\n"
            "<resources><string name=\"a\">&app;</string></resources>",
            "第 2 行第 29 列", "未定义的实体“&app;”"},
        {"an undefined entity after wide characters: columns count characters", TextFormat::Android,
            "<resources><string name=\"a\">中文&bogus;</string></resources>", "第 1 行第 31 列", "&bogus;"},
        {"a surrogate by reference", TextFormat::Resx,
            "<root><data name=\"k\"><value>&#xD800;</value></data></root>", "第 1 行第 29 列", "&#xD800;"},
        {"past U+10FFFF by reference", TextFormat::Resx,
            "<root><data name=\"k\"><value>a&#x110000;</value></data></root>", "第 1 行第 30 列",
            "&#x110000;"},
        {"a reference that is not a number", TextFormat::Resx,
            "<root><data name=\"k\"><value>&#xZZ;</value></data></root>", "第 1 行第 29 列", "&#xZZ;"},
        {"a billion laughs in text", TextFormat::Android,
            laughs + "<resources><string name=\"a\">&j;</string></resources>", "第 13 行第 29 列",
            "实体展开后的文本过长"},
        {"a billion laughs in an attribute", TextFormat::Android,
            laughs + "<resources><string name=\"a\" note=\"&j;\">x</string></resources>", "第 13 行第 12 列",
            "实体展开后的文本过长"},
        {"one large entity many times", TextFormat::Android,
            big_entity + "<string name=\"a\">" + repeated("&big;", 400) + "</string></resources>", "第 2 行",
            "实体展开后的文本过长"},
    };
    for (const Refused& test : cases)
        expect_refused(test);
}

// A limit's own size passes, one more is refused where the extra one begins.
TEST(MarkupLimits, LimitsUpToTheirSizePassOneMoreIsPlaced)
{
    constexpr std::size_t limit = 1024;
    const auto android = [](std::size_t depth) {
        return "<resources><string name=\"a\">" + repeated("<b>", depth - 2) + "x" +
            repeated("</b>", depth - 2) + "</string></resources>";
    };
    const auto html_nested = [](std::size_t depth) {
        return "<html><body>" + repeated("<div>", depth - 2) + "x";
    };
    const auto html_attributes = [](std::size_t count) {
        return "<html><body>\n<p" + numbered(" a", "", count) + ">x</p>";
    };
    const struct {
        const char* name;
        TextFormat format;
        std::function<std::string(std::size_t)> make;
        const char* place;  // of the one over the limit
        const char* reason;
    } cases[] = {
        {"xml nesting", TextFormat::Android, android, "第 1 行第 3095 列", "XML 元素嵌套超过 1024 层"},
        {"html nesting", TextFormat::Html, html_nested, "第 1 行第 5123 列", "HTML 元素嵌套超过 1024 层"},
        {"html attributes", TextFormat::Html, html_attributes, "第 2 行第 1 列", "属性超过 1024 个"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        std::size_t count = 0;
        EXPECT_EQ(error_of(test.format, test.make(limit), &count), "");
        EXPECT_EQ(count, 1u);
        const std::string error = error_of(test.format, test.make(limit + 1));
        EXPECT_NE(error.find(test.place), std::string::npos) << error;
        EXPECT_NE(error.find(test.reason), std::string::npos) << error;
    }
}

// What the receiver of the entries throws stops the parser (nothing may be
// thrown through expat, libxml2 or libyaml) and reaches the caller as
// it was thrown.
TEST(MarkupLimits, WhatTheSinkThrowsStopsTheParserAndReachesTheCaller)
{
    const std::pair<TextFormat, std::string> cases[] = {
        {TextFormat::Xliff,
            "<xliff><file><unit id=\"1\"><segment><target>a</target></segment>"
            "<segment><target>b</target></segment></unit></file></xliff>"},
        {TextFormat::Android,
            "<resources><string name=\"a\">a</string><string name=\"b\">b</string></resources>"},
        {TextFormat::Resx,
            "<root><data name=\"a\"><value>a</value></data><data name=\"b\"><value>b</value></data></root>"},
        {TextFormat::Html, "<p>a<img alt=\"x\">b</p><p>c</p>"},
        {TextFormat::Csv, "h,i\na,b\nc,d\n"},
        {TextFormat::Yaml, "- a\n- b\n"},
    };
    for (const auto& [format, bytes] : cases) {
        SCOPED_TRACE(bytes);
        std::size_t calls = 0;
        EXPECT_THROW(read_entries(format, MemoryBytes(bytes), "t", {},
                         [&](std::string&, std::string_view, std::uint64_t, std::uint64_t) {
                             ++calls;
                             throw std::out_of_range("enough");
                         }),
            std::out_of_range);
        EXPECT_EQ(calls, 1u);
    }
}

// About a megabyte each, in the shapes that made DOM parsers slow or large.
TEST(MarkupLimits, HostileMegabytesAreReadOrRefusedQuickly)
{
    const std::size_t megabyte = 1 << 20;
    const struct {
        const char* name;
        TextFormat format;
        std::string bytes;
        std::size_t entries;  // when read
        const char* refused = "";  // a part of the error, when refused
    } cases[] = {
        {"xliff: many tiny units", TextFormat::Xliff,
            "<xliff version=\"1.2\"><file><body>" +
                repeated("<trans-unit id=\"x\"><target>a</target></trans-unit>", megabyte / 50) +
                "</body></file></xliff>",
            megabyte / 50},
        {"xliff: inline codes nested as deep as allowed, many times", TextFormat::Xliff,
            "<xliff version=\"1.2\"><file><body>" +
                repeated("<trans-unit id=\"x\"><target>" + repeated("<g>", 1000) + "a" +
                        repeated("</g>", 1000) + "</target></trans-unit>",
                    megabyte / 7000) +
                "</body></file></xliff>",
            megabyte / 7000},
        {"android: one string with a hundred thousand attributes", TextFormat::Android,
            "<resources><string name=\"a\"" + numbered(" a", "=\"\"", 100000) + ">x</string></resources>", 1},
        {"resx: many tiny values", TextFormat::Resx,
            "<root>" + repeated("<data name=\"a\"><value>b</value></data>", megabyte / 38) + "</root>",
            megabyte / 38},
        {"html: many tiny paragraphs", TextFormat::Html, "<html><body>" + repeated("<p>a", megabyte / 4),
            megabyte / 4},
        {"html: formatting elements left open before many paragraphs", TextFormat::Html,
            "<p>" + numbered("<b id=", ">", 1000) + "x</p>" + repeated("<p>x</p>", 125000), 125001},
        {"html: end tags that close nothing under deep nesting", TextFormat::Html,
            repeated("<div>", 1000) + "x" + repeated("</x>", megabyte / 4), 1},
        {"html: elements nested past the limit", TextFormat::Html, repeated("<div>", megabyte / 5), 0,
            "嵌套超过"},
        {"html: attributes past the limit", TextFormat::Html,
            "<p" + numbered(" a", "", megabyte / 7) + ">x</p>", 0, "属性超过"},
        {"html: many tags with attributes just under the limit", TextFormat::Html,
            repeated("<p" + numbered(" a", "", 1000) + ">x", 150), 150},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        std::size_t count = 0;
        const std::string error = error_of(test.format, test.bytes, &count);
        if (*test.refused) {
            EXPECT_NE(error.find(test.refused), std::string::npos) << error;
        } else {
            EXPECT_EQ(error, "");
            EXPECT_EQ(count, test.entries);
        }
    }
}

}  // namespace
}  // namespace charlib
