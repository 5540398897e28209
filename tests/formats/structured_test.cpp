#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

#include "entries_check.h"
#include "formats/format_table.h"

namespace charlib {
namespace {

using namespace std::string_literals;

TEST(StructuredReaders, ReadTheTextAKeyAndAPlace)
{
    const Read cases[] = {
        {"json nesting and escapes", TextFormat::Json, "a.json",
            "{\"menu\": {\"title\": \"File\", \"n\": 3, \"ok\": true, \"no\": null},\n"
            " \"items\": [\"a\\n\\\"b\\\\\", \"\\u4e2d\\ud83d\\ude00\", 1.5], \"k\\u0041\": \"v\"}",
            {{"File", "menu.title", 1, 20}, {"a\n\"b\\", "items[0]", 2, 12}, {"中😀", "items[1]", 2, 24},
                {"v", "kA", 2, 63}}},
        {"json root array", TextFormat::Json, "a.json", "[{\"name\": \"甲\"}, \"乙\", []]",
            {{"甲", "[0].name", 1, 11}, {"乙", "[1]", 1, 17}}},
        {"arb metadata left out", TextFormat::Json, "app_zh.ARB",
            R"({"@@locale": "zh", "title": "标题", "@title": {"description": "d", "placeholders": {"n": {}}}})",
            {{"标题", "title"}}},
        {"csv in gbk", TextFormat::Csv, "a.csv",
            "\xc3\xfb\xb3\xc6,\xcb\xb5\xc3\xf7\r\n\xc6\xbb\xb9\xfb,\xcb\xae\xb9\xfb\r\n",
            {{"苹果", "名称", 2, 1}, {"水果", "说明", 2, 4}}, {.encoding = Encoding::Gbk, .columns = {}}},
        {"yaml nesting, quoting, documents", TextFormat::Yaml, "a.yaml",
            "menu:\n  title: File\n  count: 3\n  on: yes\n  quoted: \"yes\"\n  empty: ~\n  mask: 0x1F\n"
            "  word: 0xZZ\nitems:\n  - 'one'\n  - [two, -2.5e3, &x 二]\n  - |\n    block\n  - *x\n---\n"
            "- name: 三\n",
            {{"File", "menu.title", 2, 10}, {"yes", "menu.quoted", 5, 11}, {"0xZZ", "menu.word", 8, 9},
                {"one", "items[0]", 10, 5}, {"two", "items[1][0]", 11, 6}, {"二", "items[1][2]", 11, 19},
                {"block\n", "items[2]", 12, 5}, {"三", "[0].name", 16, 9}}},
        {"strings escapes and comments", TextFormat::Strings, "a.strings",
            "/* comment\n */ \"greeting\" = \"Hi \\\"you\\\"\\n\";\n// note\n"
            "\"emoji\" = \"\\UD83D\\UDE00 \\u4E2D\\101\";\nplain_key = A.value-1;\"tab\"=\"a\\tb\\\\\";",
            {{"Hi \"you\"\n", "greeting", 2, 18}, {"😀 中A", "emoji", 4, 11}, {"A.value-1", "plain_key", 5, 13},
                {"a\tb\\", "tab", 5, 29}}},
        {"strings in utf-16 with a byte-order mark", TextFormat::Strings, "a.strings",
            "\xff\xfe\"\0k\0\"\0 \0=\0 \0\"\0<P\"\0;\0\n\0"s, {{"值", "k", 1, 7}}},
        {"properties in iso-8859-1", TextFormat::Properties, "a.properties",
            "# comment \\\n! comment\ngreeting = Hello\\u0020W\\u00f6rld\ncaf\xe9=d\xe9j\xe0\r\n"
            "long: first \\\n      second\\\\\nkey\\ with\\ spaces value\\u4E2D\\uD83D\\uDE00\\q\n"
            "  tabs\\t=\\ta\\tb\nempty=\n",
            {{"Hello W\xc3\xb6rld", "greeting", 3, 12}, {"d\xc3\xa9j\xc3\xa0", "caf\xc3\xa9", 4, 6},
                {"first second\\", "long", 5, 7}, {"value中😀q", "key with spaces", 7, 19},
                {"\ta\tb", "tabs\t", 8, 10}}},
        {"properties in utf-8, as Java 9 reads resource bundles", TextFormat::Properties, "b.properties",
            "app.name = \xe5\xba\x94\xe7\x94\xa8\n", {{"\xe5\xba\x94\xe7\x94\xa8", "app.name", 1, 12}}},
        {"properties continued without blanks, in a \\u escape, across CR LF", TextFormat::Properties,
            "c.properties", "a=b\\\nc\\\r\nd\\u4E\\\n2D\n", {{"bcd中", "a", 1, 3}}},
    };
    for (const Read& test : cases)
        expect_read(test);
}

// As Python's csv, Excel and Godot read them: a quote opens a quoted cell
// only as its first character. The first column keys the rows when its
// header is empty or names keys; --key-column says otherwise.
TEST(StructuredReaders, CsvIsReadAsSpreadsheetsWriteItAndKeyedByItsKeyColumn)
{
    const std::string csv = "id,text,note\n1,\"Hello, \"\"world\"\"\nsecond\",x\n 2 ,Bye,\n";
    const struct {
        const char* name;
        std::string bytes;
        std::vector<Expected> entries;
        std::vector<std::string> columns = {};
        std::optional<std::string> key_column = std::nullopt;
        std::optional<KeyColumn> found = std::nullopt;
        TextFormat format = TextFormat::Csv;
    } cases[] = {
        {"an id column keys its row; a quoted cell begins after its quote; spaces are text", csv,
            {{"Hello, \"world\"\nsecond", "1", 2, 4}, {"x", "1", 3, 9}, {"Bye", " 2 ", 4, 5}}, {}, {},
            KeyColumn{1, "id"}},
        {"--column by name and number; naming the key column makes it text", csv,
            {{"1", "1"}, {"x", "1"}, {" 2 ", " 2 "}}, {"note", "1"}, {}, KeyColumn{1, "id"}},
        {"--key-column none: each cell keyed by its header, as without a key column", csv,
            {{"1", "id"}, {"Hello, \"world\"\nsecond", "text"}, {"x", "note"}, {" 2 ", "id"},
                {"Bye", "text"}},
            {}, ""},
        {"--key-column by number: the cells before it wait for it; a short row has no key",
            "text,note,code\n甲,乙,K1\n丙\n", {{"甲", "K1"}, {"乙", "K1"}, {"丙", ""}}, {}, "3"},
        {"Godot: an empty first header; stray quotes are text; after a closing quote, text",
            "\xef\xbb\xbf,en,zh\r\nGREET,\"Hello, \"\"you\"\"\",[b]你好[/b]\r\n\r\nSIZE,5\" "
            "screen,\"五\"寸屏\"幕\r\n"
            "TAIL,a\"\"b,",
            {{"Hello, \"you\"", "GREET", 2, 8}, {"[b]你好[/b]", "GREET", 2, 24}, {"5\" screen", "SIZE", 4, 6},
                {"五寸屏\"幕", "SIZE", 4, 17}, {"a\"\"b", "TAIL", 5, 6}},
            {}, {}, KeyColumn{1, ""}},
        {"key headers in any case", "String_ID,zh\nA,甲\n", {{"甲", "A"}}, {}, {}, KeyColumn{1, "String_ID"}},
        {"键", "键,译文\nA,甲\n", {{"甲", "A"}}, {}, {}, KeyColumn{1, "键"}},
        {"a first header that names no key", "english,zh\nhi,嗨\n", {{"hi", "english"}, {"嗨", "zh"}}},
        {"tsv: a quote opens a quoted cell only at its start", "key\tv\nK\t\"q\tq\"\nL\tsay \"hi\tthere\n",
            {{"q\tq", "K", 2, 4}, {"say \"hi", "L", 3, 3}, {"there", "L"}}, {}, {}, KeyColumn{1, "key"},
            TextFormat::Tsv},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        EntryOptions options;
        options.columns = test.columns;
        options.key_column = test.key_column;
        const EntriesRead read = read_entries(test.format, test.bytes, "t.csv", options);
        expect_entries(read, test.entries);
        ASSERT_EQ(read.key_column.has_value(), test.found.has_value());
        if (!test.found) continue;
        EXPECT_EQ(read.key_column->number, test.found->number);
        EXPECT_EQ(read.key_column->header, test.found->header);
    }
}

TEST(StructuredReaders, TellWhereAFileIsMalformed)
{
    const Refused cases[] = {
        {TextFormat::Json, "{\"a\": [1,\n  tru]}", {Code::JsonSyntax, 2, 6, {"detail~invalid literal"}}},
        {TextFormat::Json, "{\"a\": \"\\ud800\"}", {Code::JsonSyntax, 1, 14, {"detail~surrogate"}}},
        {TextFormat::Json, "", {Code::JsonSyntax, 1, 1, {"detail~unexpected end of input"}}},
        {TextFormat::Csv, "h\nok\n\"a\"\"\n", {Code::CsvUnclosedQuote, 3, 1}},
        // The columns asked for: by name or number, for the text or the keys; the header is listed.
        {TextFormat::Csv, "h,i\nx,y\n", {Code::NoSuchColumn, 1, 1, {"name=nope", "header=h\ti"}},
            {.encoding = {}, .columns = {"nope"}}},
        {TextFormat::Csv, "h,i\nx,y\n", {Code::NoSuchColumn, 1, 1, {"name=3", "header=h\ti"}},
            {.encoding = {}, .columns = {"3"}}},
        {TextFormat::Tsv, "h\ti\nx\ty\n", {Code::NoSuchKeyColumn, 1, 1, {"name=0", "header=h\ti"}},
            {.encoding = {}, .columns = {}, .key_column = "0"}},
        {TextFormat::Csv, "", {Code::NoHeaderRow, 1, 1, {"name=id"}},
            {.encoding = {}, .columns = {}, .key_column = "id"}},
        {TextFormat::Yaml, "a: [1, 2\nb: c\n", {Code::YamlSyntax, 2, 2, {"detail~expected ',' or ']'"}}},
        {TextFormat::Strings, "\"a\" = \"b\"\n\"c\" = \"d\";", {Code::StringsExpected, 2, 1, {"character=;"}}},
        {TextFormat::Strings, "\"a\" \"b\";", {Code::StringsExpected, 1, 5, {"character=="}}},
        {TextFormat::Strings, "\"a\" = ;", {Code::StringsExpectedString, 1, 7}},
        {TextFormat::Strings, "/* x", {Code::StringsUnclosedComment, 1, 1}},
        {TextFormat::Strings, "\"a\" = \"b", {Code::StringsUnclosedString, 1, 7}},
        {TextFormat::Strings, "\"a\" = \"\\U12G4\";", {Code::StringsBadUnicodeEscape, 1, 8, {"escape=\\U"}}},
        {TextFormat::Properties, "x=1\na = \\\n  b\\u12", {Code::PropertiesBadUnicodeEscape, 3, 4}},
        // A NUL would end the text for a C parser: it is refused where it stands.
        {TextFormat::Po, "msgid \"a\"\nmsgstr \"你\0好\"\n"s, {Code::NulInText, 2, 10, {"encoding=utf-8"}}},
        {TextFormat::Json, "[\"a\0\"]"s, {Code::NulInText, 1, 4, {"encoding=utf-8"}}},
        {TextFormat::Csv, "h\nx\0\n"s, {Code::NulInText, 2, 2, {"encoding=utf-8"}}},
    };
    for (const Refused& test : cases)
        expect_refused(test);
}

// JSON, YAML and WebVTT are UTF-8 by their definitions, or what a
// byte-order mark says; the formats told from the bytes are UTF-8 only when
// they are valid UTF-8. An invalid sequence is placed.
TEST(StructuredReaders, TextIsReadInTheEncodingItsFormatTakes)
{
    const std::string hanzi =
        "\xe4\xbd\xa0\xe5\xa5\xbd\xe4\xb8\x96\xe7\x95\x8c\xe4\xbd\xa0\xe5\xa5\xbd";  // 你好世界你好
    const auto utf32le = [](std::u32string_view text) {
        std::string bytes = "\xff\xfe\0\0"s;
        for (const char32_t c : text)
            for (int shift = 0; shift < 32; shift += 8)
                bytes += static_cast<char>(c >> shift & 0xFF);
        return bytes;
    };
    const struct {
        const char* name;
        TextFormat format;
        const char* path;
        std::string bytes;
        std::vector<std::string> texts;
        std::uint64_t invalid = 0;
        InvalidSequence first = {};
    } cases[] = {
        {"json with a Latin-1 byte", TextFormat::Json, "s.json",
            "{\"t\":\"" + hanzi + "\",\n\"x\":\"caf\xe9\"}", {"你好世界你好", "caf\uFFFD"}, 1, {2, 36}},
        {"yaml", TextFormat::Yaml, "s.yaml", "t: " + hanzi + "\nx: caf\xe9\n", {"你好世界你好", "caf\uFFFD"},
            1, {2, 29}},
        {"webvtt", TextFormat::Vtt, "s.vtt", "WEBVTT\n\n00:01.000 --> 00:02.000\n" + hanzi + "caf\xe9\n",
            {"你好世界你好caf\uFFFD"}, 1, {4, 54}},
        {"csv, not valid UTF-8: detected", TextFormat::Csv, "s.csv", "h\n\xc4\xe3\xba\xc3\n", {"你好"}},
        {"csv in UTF-8", TextFormat::Csv, "s.csv", "h\n" + hanzi + "\n", {"你好世界你好"}},
        {"json in UTF-32 with its mark", TextFormat::Json, "s.json", utf32le(U"[\"宽字符\"]"), {"宽字符"}},
        {"yaml in UTF-16 with its mark", TextFormat::Yaml, "s.yaml", "\xfe\xff\0a\0:\0 \x5b\x57\0\n"s,
            {"字"}},
    };
    EntryOptions options;
    options.detect = [] { return Encoding::Gbk; };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const EntriesRead read = read_entries(test.format, test.bytes, test.path, options);
        std::vector<std::string> texts;
        for (const Entry& entry : read.entries)
            texts.push_back(to_utf8(entry.text));
        EXPECT_EQ(texts, test.texts);
        const InvalidSequence first = read.first_invalid.empty() ? InvalidSequence{} : read.first_invalid[0];
        EXPECT_EQ(std::tuple(read.invalid, first.line, first.byte),
            std::tuple(test.invalid, test.first.line, test.first.byte));
    }
}

// -t auto: the extension, and for .xml the root element, in UTF-8 or UTF-16.
TEST(StructuredReaders, AFormatIsToldFromTheNameAndAnXmlRoot)
{
    const std::tuple<const char*, std::string, std::optional<TextFormat>> cases[] = {
        {"zh/messages.PO", "", TextFormat::Po},
        {"strings.json", "", TextFormat::Json},
        {"l10n/app_zh.arb", "", TextFormat::Json},
        {"messages.zh.XLF", "", TextFormat::Xliff},
        {"values/strings.xml", "<?xml version=\"1.0\"?>\n<!-- ui -->\n<resources>", TextFormat::Android},
        {"game.xml", "<xliff version=\"1.2\">", TextFormat::Xliff},
        {"prefixed.xml", "<x:xliff xmlns:x=\"urn:oasis:names:tc:xliff:document:1.2\">", TextFormat::Xliff},
        {"Form.xml", "\xFF\xFE<\0r\0o\0o\0t\0>\0"s, TextFormat::Resx},
        {"page.xml", "<html>", std::nullopt},
        {"notes.txt", "<resources>", std::nullopt},
    };
    for (const auto& [name, head, format] : cases)
        EXPECT_EQ(text_format_of(name, head), format) << name;
}

// The README's table of translation files has a row for each format of the
// table, or for two alike, with their extensions (`.x`) and, for .xml, the
// root elements (`<root>`) that tell them.
TEST(FormatTable, TheReadmeListsEveryFormatWithItsExtensions)
{
    std::ifstream file(CHARLIB_README);
    std::stringstream readme;
    readme << file.rdbuf();
    std::istringstream lines(readme.str());
    std::string line;
    while (std::getline(lines, line) && line != "## Translation files") { }
    while (std::getline(lines, line) && !line.starts_with("| `-t` | extensions |")) { }
    ASSERT_TRUE(std::getline(lines, line)) << "no table under \"## Translation files\"";
    // Backquoted texts of a cell: `po`, `.xml`, `<resources>`.
    const auto quoted = [](std::string_view cell) {
        std::vector<std::string> texts;
        for (std::size_t open = cell.find('`'); open != std::string_view::npos;) {
            const std::size_t close = cell.find('`', open + 1);
            if (close == std::string_view::npos) break;
            texts.emplace_back(cell.substr(open + 1, close - open - 1));
            open = cell.find('`', close + 1);
        }
        return texts;
    };
    std::vector<std::string> listed;
    while (std::getline(lines, line) && line.starts_with("|")) {
        SCOPED_TRACE(line.substr(0, 60));
        std::vector<std::string> cells;  // split at each | but an escaped one
        for (std::size_t at = 1, from = 1; at < line.size(); ++at)
            if (line[at] == '|' && line[at - 1] != '\\') {
                cells.push_back(line.substr(from, at - from));
                from = at + 1;
            }
        ASSERT_GE(cells.size(), 2u);
        std::set<std::string> expected, found;
        for (const std::string& name : quoted(cells[0])) {
            listed.push_back(name);
            const std::optional<TextFormat> format = text_format_named(name);
            ASSERT_TRUE(format) << name;
            const FormatInfo& info = format_info(*format);
            expected.insert(info.extensions.begin(), info.extensions.end());
            if (!info.xml_root.empty()) expected.insert({".xml", "<" + std::string(info.xml_root) + ">"});
        }
        for (const std::string& text : quoted(cells[1]))
            if (text.starts_with(".") || text.starts_with("<")) found.insert(text);
        EXPECT_EQ(found, expected);
    }
    std::vector<std::string> formats;
    for (const FormatInfo& info : text_formats())
        if (info.format != TextFormat::Lines) formats.emplace_back(info.name);
    std::sort(listed.begin(), listed.end());
    std::sort(formats.begin(), formats.end());
    EXPECT_EQ(listed, formats);
}

}  // namespace
}  // namespace charlib
