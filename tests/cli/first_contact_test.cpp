// The first command a newcomer types: a file named as what it is, read as
// that, in the encoding its bytes say; what is not text refused by name;
// outputs written where they are asked for, in the sources' encoding.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "run_cli.h"

namespace fs = std::filesystem;

namespace {

// A text in GBK, made from UTF-8 by iconv, a tool of its own.
std::string in_gbk(const TempDir& dir, const std::string& utf8)
{
    dir.write(".utf8", utf8);
    const std::string command =
        "iconv -f UTF-8 -t GBK " + (dir.path() / ".utf8").string() + " > " + (dir.path() / ".gbk").string();
    if (std::system(command.c_str()) != 0) return {};
    return TempDir::read(dir.path() / ".gbk");
}

}  // namespace

TEST(FirstContact, EachFileIsReadAsWhatItsNameAndBytesSay)
{
    TempDir dir;
    dir.write("zh.json", R"({"menu": {"start": "开始游戏", "quit": "退出"}})");
    dir.write("site/index.html", "<html><head><title>首页</title></head><body><p>欢迎</p></body></html>");
    dir.write("strings.csv", "en,zh\nStart,开始\n");
    dir.write("notes.txt", "笔记\n");  // UTF-8 lines
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"zh.json"}, "开始游戏退出\n"},
        {{"site/index.html"}, "首页欢迎\n"},
        {{"strings.csv"}, "Star开始\n"},
        {{"notes.txt"}, "笔记\n"},
        {{"-r", "."}, "笔记首页欢迎Star开始游戏退出\n"},  // *.txt and the known extensions, in path order
        {{"-t", "lines", "-r", "."}, "笔记\n"},
    };
    for (const auto& [args, set] : cases) {
        const CliRun run = run_cli(dir, args);
        EXPECT_TRUE(printed(run, set)) << testing::PrintToString(args);
        EXPECT_EQ(run.err, "") << testing::PrintToString(args) << ": nothing to note";
    }
    dir.write("g.txt", "\xD6\xD0\xCE\xC4\r\n");  // 中文 in GBK: a guess, said when -e auto is asked for
    EXPECT_EQ(run_cli(dir, {"g.txt"}).err, "");
    EXPECT_TRUE(has(run_cli(dir, {"-e", "auto", "g.txt"}).err, "“g.txt”按 gbk 读取（自动判断）"));
}

// Told GBK from its bytes, selected as the window selects, written back in GBK.
TEST(FirstContact, AGbkScriptGivesTheWindowsEndTxtByteForByte)
{
    TempDir dir;
    const std::string script = in_gbk(dir,
        "#旁白\r\n夜色渐深，城门外的灯笼一盏接一盏地亮了起来。\r\n#李逍遥\r\n婶婶，我去客栈后院劈柴啦！\r\n"
        "#婶婶\r\n小心别又打翻了酒坛子——上回赔了三钱银子。\r\n（众人大笑）\r\n");
    if (script.empty()) GTEST_SKIP() << "no iconv";
    dir.write("script.txt", script);
    ASSERT_EQ(run_cli(dir, {"-m", "#", "-n", "1", "-o", "END.txt", "script.txt"}).status, 0);
    EXPECT_EQ(TempDir::read(dir.path() / "END.txt"),
        in_gbk(dir,
            "夜色渐深，城门外的灯笼一盏接地亮了起来。婶我去客栈后院劈柴啦！小心别又打翻酒坛子—上回赔三钱银\r"
            "\n"));
}

TEST(FirstContact, WhatIsPlainlyNotTextIsRefusedByWhatItLooksLike)
{
    TempDir dir;
    using namespace std::string_literals;
    fs::copy_file("/bin/true", dir.path() / "tool");
    fs::copy_file(microhei, dir.path() / "font.ttc");
    const std::tuple<std::string, std::string, std::string> refused[] = {
        {"book.xlsx", "PK\x03\x04\x14\x00\x06\x00[Content_Types].xml...xl/workbook.xml"s,
            "“book.xlsx”是 Excel 工作簿（ZIP），不是文本：请先导出为 CSV"},
        {"renamed.csv", "PK\x03\x04\x14\x00\x06\x00xl/worksheets/sheet1.xml"s, "是 Excel 工作簿（ZIP）"},
        {"story.docx", "PK\x03\x04\x14\x00\x06\x00[Content_Types].xml"s, "是 Word 文档（ZIP）"},
        {"old.xls", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 then the rest"s,
            "是旧版 Office 文件"},  // 0x1A: not Control-Z
        {"manual.txt", "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n"s, "是 PDF 文件，不是文本"},
        {"shot.txt", "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s, "是 PNG 图片"},
        {"photo.txt", "\xFF\xD8\xFF\xE0\0\x10JFIF"s, "是 JPEG 图片"},
        {"anim.txt", "GIF89a\x01\0\x01\0"s, "是 GIF 图片"},
        {"lines.txt", "7z\xBC\xAF\x27\x1C\0\x04"s, "是 7z 压缩文件，不是文本：请先解压"},
        {"font.ttc", "", "是字体文件，不是文本：字体要用 --font 给出"},
        {"tool", "", "是可执行程序，不是文本"},
    };
    dir.write("out.txt", "old\r\n");
    for (const auto& [name, bytes, message] : refused) {
        if (!bytes.empty()) dir.write(name, bytes);
        const CliRun run = run_cli(dir, {"-o", "out.txt", name});  // whatever -t says: before it is looked at
        EXPECT_TRUE(ended(run, 1, message)) << name;
    }
    EXPECT_EQ(TempDir::read(dir.path() / "out.txt"), "old\r\n");
    // Texts that begin as those files do, but are text.
    // Longer than a font's table directory and a program's header, so that those are looked for.
    const std::string tail = ", and then some more words to make the line long enough\r\n";
    const std::pair<std::string, std::string> texts[] = {{"a.txt", "true story, told twice" + tail},
        {"b.txt", "MZ is a postcode" + tail}, {"c.txt", "PK went home" + tail},
        {"d.txt", "GIF is said two ways" + tail}, {"e.txt", "OTTO von Bismarck" + tail}};
    for (const auto& [name, text] : texts) {
        dir.write(name, text);
        const CliRun run = run_cli(dir, {name});
        EXPECT_EQ(run.status, 0) << name << run.err;
        EXPECT_FALSE(run.out.empty());
    }
}

TEST(FirstContact, TheOutputIsInTheSourcesEncodingAndFontOutputsKeepStandardOutputEmpty)
{
    TempDir dir;
    const std::string gbk = in_gbk(dir, "中文\r\n");
    if (gbk.empty()) GTEST_SKIP() << "no iconv";
    dir.write("g.txt", gbk);
    dir.write("u.txt", "中文©\n");
    dir.write("zh.json", R"({"a": "中文"})");
    const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
        {{"g.txt"}, gbk, "gbk，CR LF 换行（来源都是 GBK"},
        {{"u.txt"}, "中文©\n", "utf-8，LF 换行（来源不都是 GBK）"},
        {{"zh.json"}, "中文\n", "utf-8"},
        {{"g.txt", "u.txt"}, "中文©\n", "utf-8"},
        {{"-f", "tbl", "g.txt"}, in_gbk(dir, "8000=中\r\n8001=文\r\n"), "gbk"},
        {{"--output-encoding", "utf-8", "g.txt"}, "中文\n", "utf-8，LF 换行（按选项）"},
        {{"--output-encoding", "gb18030", "u.txt"}, in_gbk(dir, "中文") + "\x81\x30\x84\x38\r\n", "gb18030"},
        {{"-f", "json", "g.txt"}, "", "utf-8，LF 换行（这种格式总是 UTF-8）"},
    };
    for (const auto& [args, bytes, said] : cases) {
        const CliRun run = run_cli(dir, joined({"--report", "-o", "out.txt"}, args));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(bytes.empty() ? bytes : TempDir::read(dir.path() / "out.txt"), bytes)
            << testing::PrintToString(args);
        EXPECT_TRUE(has(run.err, "输出“out.txt”：" + said));
    }
    // Fonts: the set is the font's business then, unless -f or -o asks for it too.
    const std::pair<std::vector<std::string>, std::string> fonts[] = {
        {{"--subset", "s.ttf"}, ""},
        {{"--atlas", "a"}, ""},
        {{"--preview", "p.png"}, ""},
        {{"--web", "web"}, ""},
        {{"--subset", "s.ttf", "-f", "text"}, "中文\n"},
        {{"--subset", "s.ttf", "-f", "unicode-range"}, "U+4E2D,U+6587\n"},
        {{"--subset", "s.ttf", "-o", "-"}, gbk},
        {{}, "中文\n"},
    };
    for (const auto& [options, out] : fonts)
        EXPECT_TRUE(printed(run_cli(dir, joined({"--font", microhei, "g.txt"}, options)), out))
            << testing::PrintToString(options);
}

TEST(FirstContact, EveryOutputMakesItsFoldersAndAFailedRunMakesNone)
{
    TempDir dir;
    dir.write("in.txt", "中文\r\n");
    const std::vector<std::string> outputs = {"--font", microhei, "--atlas", "fonts/ui/game", "--subset",
        "fonts/sub/game.ttf", "--preview", "docs/shots/p.png", "-o", "lists/zh/END.txt", "--web",
        "site/fonts", "in.txt"};
    // Refused once the folders are added: © has no GBK code.
    dir.write("u.txt", "中文©\n");
    const CliRun refused = run_cli(dir,
        {"--font", microhei, "--atlas", "fonts/ui/game", "--output-encoding", "gbk", "-o", "lists/zh/END.txt",
            "--web", "site/fonts", "u.txt"});
    EXPECT_EQ(refused.status, 1);
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_TRUE(entry.path().filename().string().starts_with(".") ||
            entry.path().filename() == "in.txt" || entry.path().filename() == "u.txt")
            << entry.path() << " made by a failed run";
    const CliRun run = run_cli(dir, outputs);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* made : {"fonts/ui/game.fnt", "fonts/ui/game_0.png", "fonts/sub/game.ttf",
             "docs/shots/p.png", "lists/zh/END.txt", "site/fonts/font.css"})
        EXPECT_TRUE(fs::is_regular_file(dir.path() / made)) << made;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        EXPECT_FALSE(has(entry.path().filename().string(), ".charlib-")) << entry.path();
    dir.write("file", "");
    EXPECT_TRUE(ended(run_cli(dir, {"-o", "file/a/END.txt", "in.txt"}), 1, "路径中有一部分不是文件夹"));
}
