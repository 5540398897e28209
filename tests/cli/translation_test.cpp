// Translation files end to end: only the translated text reaches the set,
// and -f where says where each character is used.
#include <gtest/gtest.h>

#include "run_cli.h"

namespace {

// A Latin font: it lacks every hanzi.
const std::string inconsolata = "/usr/share/fonts/truetype/inconsolata/Inconsolata.otf";

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
        "1\n00:00:01,000 --> 00:00:02,000\n<i>Hello</i> 龍\n\n2\n00:00:03,000 --> 00:00:04,000\nBye\n");
    dir.write("tree/notes.md", "Not a source: 忽略");
}

TEST(Translation, OnlyTheTranslatedTextCountsAndWhereSaysWhereTheFontFallsShort)
{
    const TempDir dir;
    write_project(dir);
    const CliRun set = run_cli(dir, {"-t", "auto", "-r", "--no-ascii", "tree"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "字龍库\n") << "no msgid, key, comment, header or notes.md; the sources in path order";

    const CliRun where =
        run_cli(dir, {"-t", "auto", "-r", "tree", "--font", inconsolata, "--missing-only", "-f", "where"});
    EXPECT_EQ(where.status, 0) << where.err;
    EXPECT_EQ(where.out,
        "字\tU+5B57\ttree/po/zh.po:7:19\tmenu\t“Open file 字”\n"
        "龍\tU+9F8D\ttree/subs/a.srt:3:7\t1\t“Hello 龍”\n"
        "库\tU+5E93\ttree/ui/strings.json:1:21\tmenu.键\t“Save 库”\n");
    EXPECT_NE(where.err.find("缺少 3 个字符"), std::string::npos) << where.err;

    const CliRun report = run_cli(dir, {"-t", "auto", "-r", "tree", "--font", inconsolata, "--report"});
    EXPECT_NE(report.err.find("龍 U+9F8D  tree/subs/a.srt:3:7"), std::string::npos) << report.err;

    // Lines are placed too: the line after each marked one, by a second reading.
    dir.write("script.txt", "#a\r\nxy\r\n#b\r\nzx\r\n");
    const CliRun lines = run_cli(dir, {"-m", "#", "-n", "1", "-f", "where", "script.txt"});
    EXPECT_EQ(lines.out,
        "x\tU+0078\tscript.txt:2:1\t\t“xy”\nx\tU+0078\tscript.txt:4:2\t\t“zx”\n"
        "y\tU+0079\tscript.txt:2:2\t\t“xy”\nz\tU+007A\tscript.txt:4:1\t\t“zx”\n")
        << lines.err;
}

TEST(Translation, MalformedFilesAreLocatedAndKeepGoingReadsTheOthers)
{
    TempDir dir;
    dir.write("bad.json", "{\"a\": \"好\",\n \"b\": }\n");
    dir.write("good.json", "{\"a\": \"对\"}");
    const CliRun stopped = run_cli(dir, {"-t", "json", "-o", "out.txt", "bad.json", "good.json"});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_NE(stopped.err.find("无法解析文件“bad.json”：第 2 行第"), std::string::npos) << stopped.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.txt"));
    const CliRun kept = run_cli(dir, {"-t", "json", "-k", "bad.json", "good.json"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.out, "对\n");

    // A file too large to read whole is refused before it is read (a sparse one costs nothing
    // here), with its exact size: one byte over is over.
    std::filesystem::resize_file(dir.write("huge.json", ""), (std::uintmax_t{256} << 20) + 1);
    const CliRun huge = run_cli(dir, {"-t", "auto", "huge.json"});
    EXPECT_EQ(huge.status, 1);
    EXPECT_NE(huge.err.find("“huge.json”有 268,435,457 字节，超过上限 268,435,456 字节（256 MiB）"),
        std::string::npos)
        << huge.err;

    // A file whose format cannot be told is read as lines, and the user told.
    dir.write("notes.md", "说明");
    const CliRun untold = run_cli(dir, {"-t", "auto", "notes.md"});
    EXPECT_EQ(untold.out, "说明\n");
    EXPECT_NE(untold.err.find("无法从文件名判断“notes.md”的格式，按 lines 逐行读取"), std::string::npos);
}

}  // namespace
