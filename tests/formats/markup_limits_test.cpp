// What XML and HTML files may not do to the readers: fetch anything, expand
// entities without end, nest or throw past their limits (their megabytes
// of one shape each: hostile_test.cpp).
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "entries_check.h"

namespace charlib {
namespace {

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
        {TextFormat::Android,  // an external entity in text
            "<!DOCTYPE resources [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>\n<resources><string "
            "name=\"a\">x&e;</string></resources>",
            {Code::XmlExternalEntity, 2, 30, {"name=&e;", "system=file:///etc/passwd"}}},
        {TextFormat::Resx,  // an external entity in an attribute
            "<!DOCTYPE root [<!ENTITY e SYSTEM \"http://example.com/\">]>\n<root><data name=\"&e;\"/></root>",
            {Code::XmlExternalEntityInAttribute, 2, 19, {"name=&e;"}}},
        {TextFormat::Xliff,  // an entity only an unread external DTD could define
            "<!DOCTYPE xliff SYSTEM \"xliff.dtd\">\n<xliff><file><body><trans-unit id=\"1\"><target>&nbsp;"
            "</target></trans-unit></body></file></xliff>",
            {Code::XmlUndefinedEntity, 2, 47, {"name=&nbsp;"}}},
        {TextFormat::Android,  // an entity declared after an unread parameter entity
            "<!DOCTYPE resources [<!ENTITY % ext SYSTEM \"ext.dtd\"> %ext; <!ENTITY app \"A\">]>\n"
            "<resources><string name=\"a\">&app;</string></resources>",
            {Code::XmlUndefinedEntity, 2, 29, {"name=&app;"}}},
        {TextFormat::Android,  // an undefined entity after wide characters: columns count characters
            "<resources><string name=\"a\">中文&bogus;</string></resources>", {Code::XmlUndefinedEntity, 1, 31, {"name=&bogus;"}}},
        {TextFormat::Resx,  // a surrogate by reference
            "<root><data name=\"k\"><value>&#xD800;</value></data></root>",
            {Code::XmlBadCharacterReference, 1, 29, {"name=&#xD800;"}}},
        {TextFormat::Resx,  // past U+10FFFF by reference
            "<root><data name=\"k\"><value>a&#x110000;</value></data></root>", {Code::XmlBadCharacterReference, 1, 30, {"name=&#x110000;"}}},
        {TextFormat::Resx,  // a reference that is not a number
            "<root><data name=\"k\"><value>&#xZZ;</value></data></root>",
            {Code::XmlBadCharacterReference, 1, 29, {"name=&#xZZ;"}}},
        {TextFormat::Android,  // a billion laughs in text
            laughs + "<resources><string name=\"a\">&j;</string></resources>", {Code::XmlEntitiesTooLong, 13, 29}},
        {TextFormat::Android,  // a billion laughs in an attribute
            laughs + "<resources><string name=\"a\" note=\"&j;\">x</string></resources>", {Code::XmlEntitiesTooLong, 13, 12}},
        {TextFormat::Android,  // one large entity many times
            big_entity + "<string name=\"a\">" + repeated("&big;", 400) + "</string></resources>", {Code::XmlEntitiesTooLong, 2}},
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
        Refusal refusal;  // placed at the one over the limit
    } cases[] = {
        {"xml nesting", TextFormat::Android, android, {Code::XmlTooDeep, 1, 3095, {"name=b", "limit=1024"}}},
        {"html nesting", TextFormat::Html, html_nested, {Code::HtmlTooDeep, 1, 5123, {"name=div", "limit=1024"}}},
        {"html attributes", TextFormat::Html, html_attributes,
            {Code::HtmlTooManyAttributes, 2, 1, {"name=p", "limit=1024"}}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        std::size_t count = 0;
        EXPECT_FALSE(refusal_of(test.format, test.make(limit), {}, &count));
        EXPECT_EQ(count, 1u);
        expect_refused({test.format, test.make(limit + 1), test.refusal});
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

}  // namespace
}  // namespace charlib
