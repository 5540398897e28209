// Translation files end to end: only the translated text reaches the set,
// and -f where says where each character is used.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "run_cli.h"

namespace {

// A project of mixed formats whose translated text uses three hanzi, once
// each; keys, ids, comments and timecodes hold others, which must not count.
void write_project(const TempDir& dir)
{
    dir.write("tree/po/zh.po",
        "# 注释 comment\n"
        "msgid \"\"\n"
        "msgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n"
        "\n"
        "msgctxt \"menu\"\n"
        "msgid \"Open 键\"\n"
        "msgstr \"Open \"\n"
        "\"file 字\"\n");
    dir.write("tree/ui/strings.json",
        "{\"menu\": {\"键\": \"Save 库\", \"n\": 3},\n \"list\": [\"ok\", \"{0} done\"]}\n");
    dir.write("tree/subs/a.srt",
        "1\n00:00:01,000 --> 00:00:02,000\n<i>Hello</i>\n龍\n\n2\n00:00:03,000 --> 00:00:04,000\nBye\n");
    dir.write("tree/notes.md", "Not a source: 忽略");
}

TEST(Translation, OnlyTheTranslatedTextCountsAndWhereSaysWhereTheFontFallsShort)
{
    const TempDir dir;
    write_project(dir);
    // No msgid, key, comment, header or notes.md; the sources in path order.
    const CliRun where =
        run_cli(dir, {"-t", "auto", "-r", "tree", "--font", inconsolata, "--missing-only", "-f", "where"});
    EXPECT_EQ(where.status, 0) << where.err;
    EXPECT_EQ(where.out,
        "字\tU+5B57\ttree/po/zh.po:7:19\tmenu\t“Open file 字”\n"
        "龍\tU+9F8D\ttree/subs/a.srt:3:7\t1\t“Hello 龍”\n"
        "库\tU+5E93\ttree/ui/strings.json:1:21\tmenu.键\t“Save 库”\n");
    EXPECT_TRUE(has(where.err, "缺少 3 个字符"));

    const CliRun report = run_cli(dir, {"-t", "auto", "-r", "tree", "--font", inconsolata, "--report"});
    EXPECT_TRUE(has(report.err, "龍 U+9F8D  tree/subs/a.srt:3:7"));

    // Lines are placed too: the line after each marked one, by a second reading.
    dir.write("script.txt", "#a\r\nxy\r\n#b\r\nzx\r\n");
    const CliRun lines = run_cli(dir, {"-m", "#", "-n", "1", "-f", "where", "script.txt"});
    EXPECT_EQ(lines.out,
        "x\tU+0078\tscript.txt:2:1\t\t“xy”\nx\tU+0078\tscript.txt:4:2\t\t“zx”\n"
        "y\tU+0079\tscript.txt:2:2\t\t“xy”\nz\tU+007A\tscript.txt:4:1\t\t“zx”\n")
        << lines.err;
}

// The json names each source's encoding and why it was taken, as a code and
// its data: told from the bytes, declared by the file, or the format's own.
TEST(Translation, TheJsonSaysWhichEncodingAndWhyAsACode)
{
    using nlohmann::json;
    TempDir dir;
    const std::string utf16 = {'H', 0, 'i', 0, '\r', 0, '\n', 0};
    const struct {
        const char* name;
        std::string bytes;
        const char* encoding;
        json reason;
    } cases[] = {
        {"bom.txt", "\xEF\xBB\xBF中文\r\n", "utf-8", {{"code", "bom"}}},
        {"u.txt", "中文\n", "utf-8", {{"code", "valid-utf-8"}, {"multibyte", 2}}},
        {"w.txt", utf16, "utf-16le", {{"code", "utf-16-pattern"}, {"encoding", "UTF-16LE"}}},
        {"f.txt", "\xC4\xE3\x95\x32\x82\x36\r\n", "gb18030",
            {{"code", "gb18030-four-byte"}, {"four_byte", 1}}},
        {"g.txt", "\xC4\xE3\xBA\xC3\r\n", "gbk", {{"code", "default"}}},
        {"zh.po",
            "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=GBK\\n\"\n\nmsgid \"a\"\nmsgstr "
            "\"\xC4\xE3\"\n",
            "gbk", {{"code", "declared"}, {"encoding", "gbk"}}},
        {"strings.xml",
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<resources><string "
            "name=\"a\">caf\xE9</string></resources>\n",
            "iso-8859-1", {{"code", "declared"}, {"encoding", "ISO-8859-1"}}},
        {"zh.json", "{\"a\": \"中\"}\n", "utf-8", {{"code", "format-default"}, {"format", "json"}}},
        {"m.csv", "id,text\na,中\n", "utf-8", {{"code", "valid-utf-8"}}},
        // Java reads a .properties file that is not UTF-8 as ISO-8859-1, and so is it named.
        {"m.properties", "a=caf\xE9\n", "iso-8859-1", {{"code", "format-default"}, {"format", "properties"}}},
    };
    for (const auto& c : cases) {
        dir.write(c.name, c.bytes);
        const CliRun run = run_cli(dir, {"-t", "auto", "-f", "json", c.name});
        ASSERT_EQ(run.status, 0) << c.name << ": " << run.err;
        const json source = json::parse(run.out)["sources"][0];
        EXPECT_EQ(source["encoding"], c.encoding) << c.name;
        EXPECT_EQ(source["encoding_reason"], c.reason) << c.name;
    }
    EXPECT_FALSE(json::parse(run_cli(dir, {"-e", "gbk", "-f", "json", "g.txt"}).out)["sources"][0].contains(
        "encoding_reason"))
        << "-e tells it: nothing to explain";
}

TEST(Translation, MalformedFilesAreLocatedAndKeepGoingReadsTheOthers)
{
    TempDir dir;
    dir.write("bad.json", "{\"a\": \"好\",\n \"b\": }\n");
    dir.write("good.json", "{\"a\": \"对\"}");
    EXPECT_TRUE(ended(run_cli(dir, {"-t", "json", "-o", "out.txt", "bad.json", "good.json"}), 1,
        "无法解析文件“bad.json”：第 2 行第"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.txt"));
    const CliRun kept = run_cli(dir, {"-t", "json", "-k", "bad.json", "good.json"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.out, "对\n");

    // A file too large to read whole is refused before it is read (a sparse one costs nothing
    // here), with its exact size: one byte over is over.
    std::filesystem::resize_file(dir.write("huge.json", ""), (std::uintmax_t{256} << 20) + 1);
    EXPECT_TRUE(ended(run_cli(dir, {"-t", "auto", "huge.json"}), 1,
        "“huge.json”有 268,435,457 字节，超过上限 268,435,456 字节（256 MiB），不能按 json 读取"));

    // A file whose format cannot be told is read as lines, and the user told.
    dir.write("notes.md", "说明");
    const CliRun untold = run_cli(dir, {"-t", "auto", "notes.md"});
    EXPECT_EQ(untold.out, "说明\n");
    EXPECT_TRUE(has(untold.err, "无法从文件名判断“notes.md”的格式，按 lines 逐行读取"));
}

// What the options ask reaches the readers, and an entry's first character has its place too.
TEST(Translation, OptionsReachTheReadersAndEveryCharacterHasItsPlace)
{
    const TempDir dir;
    dir.write("m.xlf",
        "<xliff version=\"1.2\"><file><body><trans-unit id=\"k\"><source>原</source>"
        "<target>译</target></trans-unit></body></file></xliff>");
    EXPECT_EQ(run_cli(dir, {"-t", "xliff", "m.xlf"}).out, "译\n");
    EXPECT_EQ(run_cli(dir, {"-t", "xliff", "--xliff-source", "m.xlf"}).out, "原\n");
    dir.write("first.json", "{\"k\": \"龍x\"}");
    // An added character was read nowhere: it has no place to list.
    EXPECT_EQ(run_cli(dir, {"-t", "json", "-f", "where", "--add", "字", "first.json"}).out,
        "龍\tU+9F8D\tfirst.json:1:7\tk\t“龍x”\nx\tU+0078\tfirst.json:1:8\tk\t“龍x”\n");
}

// Files as real projects write them: Godot's translations.csv with BBCode
// (MessageFormat in .arb and XLIFF: markup_xml_test.cpp), a spreadsheet's TSV.
TEST(Translation, RealProjectsFilesGiveOnlyTheTextTheyDraw)
{
    const TempDir dir;
    // Godot: an empty first header makes the first column the keys, said once.
    dir.write("translations.csv",
        ",en,zh_CN\r\n"
        "DLG_GREET,\"Hello, [b]traveler[/b]!\",\"[b]旅行者[/b]，你好！\"\r\n"
        "DLG_BYE,Bye,[color=yellow]再见[/color][img]res://ui/wave.png[/img]\r\n"
        "UI_OK,OK,确定\r\n");
    const CliRun godot = run_cli(dir, {"-t", "csv", "--key", "DLG_*", "--no-ascii", "translations.csv"});
    EXPECT_EQ(godot.out, "旅行者，你好！再见\n") << godot.err;
    const CliRun where = run_cli(dir, {"-t", "csv", "--only", "旅见", "-f", "where", "translations.csv"});
    EXPECT_EQ(where.out,
        "旅\tU+65C5\ttranslations.csv:2:38\tDLG_GREET\t“旅行者，你好！”\n"
        "见\tU+89C1\ttranslations.csv:3:14\tDLG_BYE\t“再见”\n");
    const std::string note = "注意：“translations.csv”的第 1 列（表头为空）作为键列：给出每行的键，不算译文";
    EXPECT_TRUE(has(godot.err, note));
    EXPECT_EQ(godot.err.find(note), godot.err.rfind(note)) << "once";
    // --key-column none: the keys are text again, and each cell is keyed by its header.
    const CliRun none =
        run_cli(dir, {"-t", "csv", "--key-column", "none", "--key", "zh_CN", "translations.csv"});
    EXPECT_EQ(none.out, "旅行者，你好！再见确定\n") << none.err;
    EXPECT_EQ(none.err, "");

    // A spreadsheet's TSV: its key column said by its header, quotes inside a cell are text.
    dir.write("sheet.tsv", "id\tsource\tzh\nROW_1\tSay \"hi\"\t他说：\"龍\"\n");
    const CliRun sheet = run_cli(dir, {"-t", "auto", "--column", "zh", "sheet.tsv"});
    EXPECT_EQ(sheet.out, "他说：\"龍\n");
    EXPECT_TRUE(has(sheet.err, "“sheet.tsv”的第 1 列（表头“id”）作为键列"));
}

// What a hostile or unlucky file gets: its text read as its format says,
// what went wrong said, never a wrong result reported as success.
TEST(Translation, HostileFilesGetAClearWordNeverAWrongResult)
{
    const TempDir dir;
    // JSON is UTF-8: one Latin-1 byte is an invalid sequence, placed, not a reason to read it as GBK.
    dir.write("s.json",
        "{\"t\":\"\xe4\xbd\xa0\xe5\xa5\xbd\xe4\xb8\x96\xe7\x95\x8c\xe4\xbd\xa0\xe5\xa5\xbd\","
        "\"x\":\"caf\xe9\"}");
    const CliRun latin = run_cli(dir, {"-t", "json", "s.json"});
    EXPECT_EQ(latin.status, 0);
    EXPECT_EQ(latin.out, "你好世界caf\uFFFD\n");
    EXPECT_TRUE(has(latin.err, "“s.json”有 1 处无效字节序列（按 utf-8 读取），第一处在第 1 行第 35 字节"));
    const CliRun json = run_cli(dir, {"-t", "json", "-f", "json", "s.json"});
    EXPECT_EQ(nlohmann::json::parse(json.out)["sources"][0]["invalid_sequences"],
        nlohmann::json::parse(R"({"count":1,"first":[{"line":1,"byte":35}]})"));

    // An empty set says why: no key matched, or no cue could be read.
    dir.write("k.json", "{\"title\":\"标题\",\"body\":\"正文\"}");
    const CliRun keys = run_cli(dir, {"-t", "json", "--key", "menu.*", "k.json"});
    EXPECT_TRUE(has(keys.err, "没有条目的键匹配 --key menu.*（共有 2 个条目）"));
    dir.write("b.srt", "1\n00:00:01 -> 00:00:02\n字幕\n\n2\n00:00:03,000 - 00:00:04,000\n字幕\n");
    const CliRun cues = run_cli(dir, {"-t", "srt", "b.srt"});
    EXPECT_TRUE(has(cues.err, "没有选出任何字符：2 个字幕块的时间码无法识别"));

    // AddressSanitizer keeps freed memory for a while, and its shadow fits no limit.
    if (rounds_divisor > 1) return;
    // Every format, on 8 MiB of its smallest entries, within twice its size and 64 MiB: millions of
    // one-letter strings cost their text, not a string and a place each.
    const struct {
        const char *format, *head, *unit, *tail;
        std::size_t mib = 8;
    } tiny[] = {
        {"json", "[", "\"a\",", "\"a\"]", 64},
        {"yaml", "", "- a\n", ""},
        {"csv", "h\n", "a\n", ""},
        {"po", "", "msgid \"%d\"\nmsgstr \"b\"\n\n", ""},  // msgids told apart by a number
        {"srt", "", "1\n00:00:01,000 --> 00:00:02,000\na\n\n", ""},
        {"vtt", "WEBVTT\n\n", "00:01.000 --> 00:02.000\na\n\n", ""},
        {"strings", "", "\"a\"=\"b\";\n", ""},
        {"properties", "", "a=b\n", ""},
        {"xliff", "<xliff><file><body>", "<trans-unit id=\"k\"><target>a</target></trans-unit>",
            "</body></file></xliff>"},
        {"android", "<resources>", "<string name=\"k\">a</string>", "</resources>"},
        {"resx", "<root>", "<data name=\"k\"><value>a</value></data>", "</root>"},
        {"html", "<body>", "<p>a", "</body>"},
    };
    for (const auto& test : tiny) {
        {  // written a piece at a time: a child started from this process counts its peak as its own
            std::ofstream file(dir.path() / "tiny", std::ios::binary);
            file << test.head;
            std::string unit;
            for (std::size_t size = 0, i = 0; size < (test.mib << 20); size += unit.size(), ++i) {
                unit = test.unit;
                if (const std::size_t number = unit.find("%d"); number != std::string::npos)
                    unit.replace(number, 2, std::to_string(i));
                file << unit;
            }
            file << test.tail;
        }
        const CliRun run = run_cli(dir, {"-t", test.format, "tiny"});
        EXPECT_EQ(run.status, 0) << test.format << run.err;
        EXPECT_LT(run.peak_mib, 2 * test.mib + 64) << test.format;
    }
    // Out of memory is a failure said in words, not an abort: a file as large as
    // a translation file may be in a process held to 100 MiB.
    std::filesystem::resize_file(dir.write("large.json", ""), std::uintmax_t{256} << 20);
    const CliRun starved = run_cli(dir, {"-t", "json", "-o", "out.txt", "large.json"}, {}, {}, 100 << 10);
    EXPECT_EQ(starved.status, 1);
    EXPECT_EQ(starved.err, "charlib-cli: 内存不足：运行中止，什么都没有写入\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.txt"));
}

}  // namespace
