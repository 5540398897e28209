// What the pipeline finds in its sources beyond their characters, and the
// steps that turn a tally into output.
#include <gtest/gtest.h>

#include <unordered_set>

#include "base/types.h"
#include "codec/code_page_936.h"
#include "codec/encodings.h"
#include "codec/utf.h"
#include "output/output.h"
#include "sources/detection.h"
#include "sources/facts.h"
#include "sources/read_source.h"
#include "temp_dir.h"

namespace {

using namespace charlib;

TEST(Pipeline, FindsEncodingsControlZAndInvalidSequences)
{
    struct Case {
        std::string bytes;
        Encoding detected;
        std::optional<std::pair<std::uint64_t, std::uint64_t>> control_z;  // byte, character
        std::vector<std::pair<std::uint64_t, std::uint64_t>> invalid;  // line, byte
    };
    const Case cases[] = {
        {"plain ASCII\r\n", Encoding::Gbk, {}, {}},
        {"\xE4\xB8\xAD\xE6\x96\x87\n\x1A", Encoding::Utf8, {{8, 4}}, {}},
        {"\xEF\xBB\xBF" + std::string("a\x1A"), Encoding::Utf8, {{5, 2}}, {}},
        {"\xD6\xD0\xCE\xC4\r\n\x81\r\n", Encoding::Gbk, {}, {{2, 7}}},
        {"\xE4\xB8\xAD\xFF\n\n\xE4\xB8", Encoding::Gbk, {}, {{1, 3}}},  // not UTF-8 after all
        {std::string("\xFF\xFE\x61\0\n\0\x00\xD8\x1A\0", 10), Encoding::Utf16Le, {{9, 4}}, {{2, 7}}},
        {std::string("\xFE\xFF\0\x1A", 4), Encoding::Utf16Be, {{3, 1}}, {}},
        {"\x84\x31\x95\x33\x81\x30\x81\x30", Encoding::Gb18030, {}, {}},
        {"", Encoding::Gbk, {}, {}},
        {"\x84\x31\x95\x33\x81\x20" + std::string(1 << 20, 'a'), Encoding::Gb18030, {}, {{1, 5}}},
        {std::string(1 << 20, 'a') + "\xE4\xB8\xAD", Encoding::Utf8, {}, {}},  // past the first buffer
        {"\xEF\xBB\xBF" + std::string(1 << 20, 'a') + "\xFF", Encoding::Utf8, {}, {{1, (1 << 20) + 4}}},
        {"\xFF\xFE" + std::string(1 << 20, 'a') + std::string("\x1A\0", 2), Encoding::Utf16Le,
            {{(1 << 20) + 3, (1 << 19) + 1}}, {}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const auto path = dir.write("t.txt", c.bytes);
        const Encoding encoding = detect(path).encoding;
        EXPECT_EQ(encoding, c.detected) << testing::PrintToString(c.bytes);
        const std::optional<ControlZ> found = find_control_z(path, encoding);
        EXPECT_EQ(found ? std::optional(std::pair(found->byte, found->character)) : std::nullopt, c.control_z)
            << testing::PrintToString(c.bytes);
        std::vector<std::pair<std::uint64_t, std::uint64_t>> invalid;
        for (const InvalidSequence& place :
            examine_source(path, {encoding, default_newline(encoding)}, {}).first_invalid)
            invalid.emplace_back(place.line, place.byte);
        EXPECT_EQ(invalid, c.invalid) << testing::PrintToString(c.bytes);
    }
    const SourceFacts many =
        examine_source(dir.write("m", std::string(150, '\x80')), {Encoding::Gb18030}, {});
    EXPECT_EQ(many.invalid, 150u);  // all counted,
    EXPECT_EQ(many.first_invalid.size(), 100u);  // the first hundred placed
}

// The first lines or entries of a source, as the set sees them.
TEST(Pipeline, SamplesTheFirstSelectedLinesOrEntries)
{
    struct Case {
        std::string name, bytes;
        std::size_t sample;
        std::vector<std::u32string> kept;
        std::u32string marker = {};
        std::int64_t offset = 0;
        TextFormat format = TextFormat::Lines;
    };
    std::string gbk_long;  // 中 250 times, in code page 936
    for (int i = 0; i < 250; ++i) gbk_long += "\xD6\xD0";
    std::string json_long;  // 你 300 times
    for (int i = 0; i < 300; ++i) json_long += "\xE4\xBD\xA0";
    const Case cases[] = {
        {"no marker", "a\r\n\r\n b\r\n\r\nc", 10, {U"a", U" b", U"c"}},
        // The line after each marker line, taken untested; the last marker line has none.
        {"offset", "#1\r\nx\r\ny\r\n#2\r\n#3\r\nz\r\n#4", 10, {U"x", U"#3"}, U"#", 1},
        {"marker", "#1\r\nx\r\ny#\r\n", 10, {U"#1", U"y#"}, U"#"},
        // Code page 936 ends lines at CR alone: a lone LF stays in its line.
        {"gbk", "\xD6\xD0\n\xCE\xC4\r\n\xBA\xC3", 10, {U"中\n文", U"好"}},
        {"utf-8", "\xE4\xB8\xAD\n\xE6\x96\x87\r\n", 10, {U"中", U"文"}},
        {"stops at N", "1\r\n2\r\n3\r\n4\r\n5", 3, {U"1", U"2", U"3"}},
        {"capped", gbk_long + "\r\nb", 10, {std::u32string(200, U'中'), U"b"}},
        {"none asked", "a\r\nb", 0, {}},
        // Entry texts in file order, markup stripped, keys left out; long ones capped.
        {"entries", "{\"k1\": \"<b>Hi</b> {0}\", \"k2\": {\"k3\": \"" + json_long + "\"}, \"k4\": \"Bye\"}",
            2, {U"Hi ", std::u32string(200, U'你')}, {}, 0, TextFormat::Json},
        {"entries with marker", "{\"k1\": \"a\", \"k2\": \"#b\", \"k3\": \"#c\"}", 10, {U"#b", U"#c"}, U"#", 0,
            TextFormat::Json},
    };
    TempDir dir;
    for (const Case& c : cases) {
        ReadingRules rules;
        rules.selection.marker = c.marker;
        rules.selection.offset = c.offset;
        rules.entries.format = c.format;
        rules.sample = c.sample;
        const SourceRead read = read_source(dir.write("t", c.bytes), rules);
        EXPECT_FALSE(read.report.error) << c.name;
        EXPECT_EQ(read.sample, c.kept) << c.name;
    }
    // Control-Z ends the text and makes the source unusable: nothing of it is shown.
    ReadingRules rules;
    rules.sample = 10;
    const SourceRead ended = read_source(dir.write("z", "a\r\nb\x1A\r\nc"), rules);
    ASSERT_TRUE(ended.report.error);
    EXPECT_EQ(ended.report.error->code, Code::ControlZ);
    EXPECT_TRUE(ended.sample.empty());
}

TEST(Pipeline, TalliesAddUpAndChoosingKeepsCountsWithTheirCharacters)
{
    Tally tally{U"ba", {1, 2}};
    tally.add({U"cab", {5, 1, 1}});
    EXPECT_EQ(tally.characters, U"bac");
    EXPECT_EQ(tally.counts, (std::vector<std::uint64_t>{2, 3, 5}));
    const std::tuple<Choice, std::u32string, std::vector<std::uint64_t>> cases[] = {
        {{}, U"bac", {2, 3, 5}},
        {{.order = Order::Code}, U"abc", {3, 2, 5}},
        {{.order = Order::Frequency}, U"cab", {5, 3, 2}},
        {{.exclude = U"a", .min_count = 3}, U"c", {5}},
        // Added characters the text lacks follow its own in the order given, counted 0, and
        // survive --min-count; those it has keep their place and count.
        {{.add = U"yaxy"}, U"bacyx", {2, 3, 5, 0, 0}},
        {{.add = U"yaxy", .min_count = 4}, U"acyx", {3, 5, 0, 0}},
        {{.add = U"yx", .order = Order::Code}, U"abcxy", {3, 2, 5, 0, 0}},
        {{.add = U"yx", .order = Order::Frequency}, U"cabyx", {5, 3, 2, 0, 0}},
        {{.exclude = U"y", .add = U"yx", .only = U"bx"}, U"bx", {2, 0}},
    };
    for (const auto& [choice, characters, counts] : cases) {
        const Tally chosen = choose(tally, choice);
        EXPECT_EQ(chosen.characters, characters);
        EXPECT_EQ(chosen.counts, counts);
    }
    EXPECT_EQ(choose({U"a中\U0001F600b", {}}, {.no_ascii = true}).characters, U"中\U0001F600");
    const Tally empty = choose({}, {.add = U"12"});  // an empty text: the additions, counted
    EXPECT_EQ(std::pair(empty.characters, empty.counts),
        std::pair(std::u32string(U"12"), std::vector<std::uint64_t>{0, 0}));
    EXPECT_EQ(choose({U"ab", {}}, {.add = U"c"}).counts, std::vector<std::uint64_t>{})
        << "uncounted stays so";
}

// The sets --add-set names: their sizes, first and last characters, and
// what coverage makes of them.
TEST(Pipeline, NamedSetsComeFromTheCodePageTables)
{
    const std::tuple<NamedSet, std::size_t, char32_t, char32_t> cases[] = {
        {NamedSet::Ascii, 95, U' ', U'~'},
        {NamedSet::Digits, 10, U'0', U'9'},
        {NamedSet::Latin1, 96, 0xA0, 0xFF},
        {NamedSet::CjkPunctuation, 54, 0x3000, 0xFF5D},
        {NamedSet::Gb2312Level1, 3755, U'啊', U'座'},
        {NamedSet::Gb2312, 7445, 0x3000, U'齄'},
        {NamedSet::Gbk, 95 + 21791, U' ', 0xFA29},
    };
    for (const auto& [set, size, first, last] : cases) {
        const std::u32string characters = characters_of(set);
        SCOPED_TRACE(static_cast<int>(set));
        ASSERT_EQ(characters.size(), size);
        EXPECT_EQ(std::pair(characters.front(), characters.back()), std::pair(first, last));
        EXPECT_EQ(std::unordered_set<char32_t>(characters.begin(), characters.end()).size(), size)
            << "each once";
        EXPECT_TRUE(set == NamedSet::Latin1 || coverage(characters).outside.empty()) << "written in GBK";
    }
    const Coverage gb2312 = coverage(characters_of(NamedSet::Gb2312));
    EXPECT_EQ(std::tuple(gb2312.level1, gb2312.level2, gb2312.gb2312_other, gb2312.beyond_gb2312),
        std::tuple(3755u, 3008u, 682u, 0u));
    const Coverage gbk = coverage(characters_of(NamedSet::Gbk));
    EXPECT_EQ(std::tuple(gbk.level1 + gbk.level2 + gbk.gb2312_other, gbk.beyond_gb2312, gbk.single_byte),
        std::tuple(7445u, 21791u - 7445u, 95u));
    // Punctuation by its category: the ideographic space beside it, not ～ (a math symbol) or ￥.
    const std::u32string punctuation = characters_of(NamedSet::CjkPunctuation);
    for (char32_t c : std::u32string(U"\u3000、。·—…‘’“”《》【】！，：；？（）＇"))
        EXPECT_NE(punctuation.find(c), std::u32string::npos) << code_point_name(c);
    for (char32_t c : std::u32string(U"～￥＋＄ⅰ\u30FB\u2015"))
        EXPECT_EQ(punctuation.find(c), std::u32string::npos) << code_point_name(c);
}

TEST(Pipeline, FormatsCoverageAndOutputEncodings)
{
    const Tally tally{U"\n 张\U0001F600", {1, 3, 2, 1}};
    EXPECT_EQ(format_characters(tally, Format::Text, U"\r\n"), U"\n 张😀\r\n");
    EXPECT_EQ(format_characters(tally, Format::Counts, U"\n"), U"U+000A\t1\n \t3\n张\t2\n😀\t1\n");
    EXPECT_EQ(
        format_characters(tally, Format::Tbl, U"\n", 0xFFFC), U"FFFC=U+000A\nFFFD= \nFFFE=张\nFFFF=😀\n");
    EXPECT_EQ(format_characters({U"\u4E02\u4E00\u4E01\u4E0A\U0001F600", {}}, Format::UnicodeRange, U"\n"),
        U"U+4E00-4E02,U+4E0A,U+1F600\n");
    const Coverage found = coverage(U"啊齄亍丂a€、\U0001F600\uE000");
    EXPECT_EQ(std::tuple(found.level1, found.level1_size, found.level2, found.level2_size, found.gb2312_other,
                  found.single_byte, found.beyond_gb2312, found.outside),
        std::tuple(1u, 3755u, 2u, 3008u, 1u, 2u, 2u, std::u32string(U"\U0001F600")));

    const Encoded gbk = encode_output(U"a中\u00C0\uFFFD\U0001F600\u00C0", OutputEncoding::Gbk);
    EXPECT_EQ(gbk.bytes, "a\xD6\xD0????");
    EXPECT_EQ(gbk.unmappable, U"\u00C0\U0001F600");
    EXPECT_TRUE(gbk.replaced_invalid);
}

// The counts of GB 2312 (3755 level 1 and 3008 level 2 hanzi, 682 other
// characters) and the 33 characters code page 936 adds inside its rows,
// taken from Python's gb2312 and gbk codecs.
TEST(Pipeline, CoverageTakesGb2312FromItsOwnTable)
{
    std::u32string rows;  // code page 936 in GB 2312's rows, less the private-use area
    for (unsigned lead = 0xA1; lead <= 0xF7; ++lead)
        for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) {
            const char pair[2] = {char(lead), char(trail)};
            const std::u16string c = decode({pair, 2});
            if (c.size() == 1 && c[0] != u'\uFFFD' && (c[0] < 0xE000 || c[0] > 0xF8FF)) rows += c[0];
        }
    const Coverage all = coverage(rows);
    EXPECT_EQ(std::tuple(all.level1, all.level2, all.gb2312_other, all.beyond_gb2312, all.single_byte),
        std::tuple(3755u, 3008u, 682u, 33u, 0u));
    const Coverage added = coverage(U"ⅰⅱⅲⅳⅴⅵⅶⅷⅸⅹ︵︶︹︺︿﹀︽︾﹁﹂﹃﹄︻︼︷︸︱︳︴ɑńňɡ");
    EXPECT_EQ(std::tuple(added.beyond_gb2312, added.level1 + added.level2 + added.gb2312_other),
        std::tuple(33u, 0u));
}

}  // namespace
