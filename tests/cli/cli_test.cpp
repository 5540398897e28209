// charlib-cli end to end: output, files, failures and usage.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <random>

#include <nlohmann/json.hpp>

#include "codec/utf.h"
#include "run_cli.h"
#include "simd/kernel.h"

namespace {

TEST(Cli, PrintsTheCharacterSetAsUtf8OrWritesItInCodePage936)
{
    TempDir dir;
    // "#张三", "你好！", "#李四", "hello"
    dir.write(
        "script 一.txt", "#\xD5\xC5\xC8\xFD\r\n\xC4\xE3\xBA\xC3\xA3\xA1\r\n#\xC0\xEE\xCB\xC4\r\nhello\r\n");
    dir.write("empty.txt", "");
    dir.write("-dash.txt", "z\r\n");  // a name beginning with '-' can follow "--"
    dir.write("END.txt", "an older, longer set\r\n");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"script 一.txt"}, "#张三你好！李四helo\n"}, {{"-m", "#", "script 一.txt"}, "#张三李四\n"},
        {{"--marker", "#", "--offset", "1", "script 一.txt"}, "你好！helo\n"},
        {{"--marker=张", "-n", "0", "script 一.txt"}, "#张三\n"},
        {{"-s", "-m", "#", "script 一.txt"}, "#三四张李\n"},
        {{"--sort", "-m", "none", "script 一.txt"}, "\n"}, {{"empty.txt"}, "\n"},
        {{"--", "-dash.txt"}, "z\n"}, {{"--version"}, "charlib-cli 1.1.0\n"},
        {{"-o", "END.txt", "-m", "张", "script 一.txt"}, ""}};
    for (const auto& [args, out] : cases)
        EXPECT_TRUE(printed(run_cli(dir, args), out)) << testing::PrintToString(args);
    EXPECT_EQ(TempDir::read(dir.path() / "END.txt"), "#\xD5\xC5\xC8\xFD\r\n");
}

TEST(Cli, FailuresNameTheFileAndLeaveTheOutputAsItWas)
{
    TempDir dir;
    dir.write("in.txt", "abc\r\n");
    dir.write("dump.bin", "abc\r\n\x1A tail");
    dir.write(
        "big.bin", std::string((1 << 20) + 4, 'x') + "\x1A");  // past the first buffer the count goes on
    std::filesystem::create_directory(dir.path() / "folder");
    std::filesystem::permissions(dir.write("kept.txt", "kept\r\n"), std::filesystem::perms::owner_read);
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"-o", "out.txt", "dump.bin"}, 1, "文件“dump.bin”在文件偏移6处发现Ctrl+Z字符"},
        {{"big.bin"}, 1, "文件“big.bin”在文件偏移1048581处发现Ctrl+Z字符"},
        {{"-o", "out.txt", "missing.txt"}, 1, "无法打开文件“missing.txt”：文件或文件夹不存在"},
        {{"-o", "out.txt", "folder"}, 1, "无法打开文件“folder”：这是一个文件夹"},
        {{"/dev/zero"}, 1, "这不是普通文件"}, {{"-o", "folder", "in.txt"}, 1, "无法写入文件“folder”"},
        {{"-o", "kept.txt", "in.txt"}, 1, "无法写入文件“kept.txt”：没有访问权限"},
        // Usage errors are tested in process (plan_test.cpp); this one comes before any reading.
        {{"--bogus", "missing.txt"}, 2,
            "charlib-cli: 未知选项：--bogus\n请用 charlib-cli --help 查看用法。\n"},
        {{"-f", "tbl", "--tbl-start", "fffe", "in.txt"}, 1, "超过 FFFF"},
        {{"--font", microhei, "--atlas", "in.txt/x.fnt", "-o", "out.txt", "in.txt"}, 1,
            "无法写入文件“in.txt”：路径中有一部分不是文件夹"}};
    for (const auto& [args, status, message] : cases) {
        const CliRun run = run_cli(dir, args);
        EXPECT_TRUE(ended(run, status, message)) << testing::PrintToString(args);
        EXPECT_EQ(run.out, "");
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".out.txt.")) << "temporary file left";
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.txt"));
    EXPECT_EQ(TempDir::read(dir.path() / "kept.txt"), "kept\r\n");
    EXPECT_TRUE(has(run_cli(dir, {"--help"}).out, "-m, --marker TEXT"));
    const int full =
        std::system(("cd " + dir.path().string() + " && " CHARLIB_CLI " in.txt >/dev/full 2>&1").c_str());
    EXPECT_EQ(WIFEXITED(full) ? WEXITSTATUS(full) : -1, 1) << "a full disk behind standard output";
}

TEST(Cli, ReadsAFolderOfMixedSourcesChoosesAndWritesEveryFormat)
{
    TempDir dir;
    dir.write("scripts/a.txt", "#张三\n你好你好！\n");  // UTF-8
    dir.write("scripts/b.txt", "#\xC0\xEE\xCB\xC4\r\n\xC4\xE3\xBA\xC3\r\n");  // GBK: "#李四", "你好"
    dir.write("scripts/sub/c.txt",
        "\xEF\xBB\xBF"
        "好\n");  // UTF-8 with a byte-order mark
    dir.write("scripts/notes.md", "不读\n");
    dir.write("font.txt", "你\r\n");
    const std::vector<std::string> common = {
        "-r", "-e", "auto", "--exclude", "font.txt", "-m", "#", "-n", "1", "scripts"};
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "好！\n"},
        {{"-f", "counts"}, "好\t3\n！\t1\n"},
        {{"--order", "freq", "-f", "tbl", "--tbl-start", "fffe"}, "FFFE=好\nFFFF=！\n"},
        {{"-f", "unicode-range"}, "U+597D,U+FF01\n"},
        {{"--min-count", "2", "--no-ascii", "-s"}, "好\n"},
    };
    for (const auto& [options, out] : cases)
        EXPECT_TRUE(printed(run_cli(dir, joined(options, common)), out)) << testing::PrintToString(options);
    const CliRun json = run_cli(dir, {"-f", "json", "-r", "-e", "auto", "--report", "scripts"});
    EXPECT_EQ(json.status, 0) << json.err;
    const auto parsed = nlohmann::json::parse(json.out);
    EXPECT_EQ(parsed["sources"].size(), 3u);
    EXPECT_EQ(parsed["sources"][1]["encoding"], "gbk");
    EXPECT_EQ(parsed["characters"][3]["character"], "你");
    EXPECT_EQ(parsed["characters"][3]["count"], 3);
    const std::string counts = run_cli(dir, {"-f", "counts", "-r", "-e", "auto", "scripts"}).out;
    EXPECT_EQ(
        parsed["characters"].size(), static_cast<std::size_t>(std::count(counts.begin(), counts.end(), '\n')))
        << "one entry a character";
    EXPECT_TRUE(has(json.err, "来源 3 个，共 5 行，选中 5 行"));
}

// Standard error is in the user's language; the exit status and standard
// output are the same in every language.
TEST(Cli, SaysWhatHappenedInTheUsersLanguageAndPrintsTheSameInAny)
{
    TempDir dir;
    dir.write("u.txt", "中文\n");
    dir.write("g.gbk", "\xD6\xD0\xCE\xC4\r\nab\x81\r\n");  // a lead byte alone
    dir.write("m.properties", "a=caf\xE9\n");
    const auto run_in = [&](const char* language, const std::vector<std::string>& args) {
        ::setenv("LANGUAGE", language, 1);
        const CliRun run = run_cli(dir, args);
        ::setenv("LANGUAGE", "zh_CN", 1);  // as the tests run
        return run;
    };
    const struct {
        std::vector<std::string> args;
        int status;
        std::string english, chinese;
    } cases[] = {
        {{"missing.txt"}, 1, "Cannot open the file “missing.txt”: no such file or folder",
            "无法打开文件“missing.txt”：文件或文件夹不存在"},
        {{"-k", "-f", "json", "u.txt", "missing.txt"}, 1, "Cannot open the file “missing.txt”",
            "无法打开文件“missing.txt”"},
        {{"--strict", "g.gbk"}, 1,
            "“g.gbk” has 1 invalid byte sequence (read as gbk), at line 2, byte 9; the source is not used "
            "(--strict)",
            "“g.gbk”有 1 处无效字节序列（按 gbk 读取），第一处在第 2 行第 9 字节；不用这个来源（--strict）"},
        {{"g.gbk"}, 0, "Note: “g.gbk” has 1 invalid byte sequence (read as gbk), at line 2, byte 9; it is",
            "注意：“g.gbk”有 1 处无效字节序列"},
        {{"--report", "u.txt"}, 0,
            "1 source, 1 line, 1 selected\n  u.txt: read as utf-8: valid UTF-8 (2 multibyte sequences)\n"
            "2 distinct characters\n",
            "来源 1 个，共 1 行，选中 1 行\n  u.txt：按 utf-8 读取，因为有效的 UTF-8（2 "
            "个多字节序列）\n不重复字符 2 个\n"},
        {{"--report", "g.gbk"}, 0, "1 invalid byte sequence\n  g.gbk:2: byte 9\n",
            "无效字节序列 1 处\n  g.gbk:2:第9字节\n"},
        {{"--exclude", "missing.txt", "u.txt"}, 1, "Cannot open the file “missing.txt”",
            "无法打开文件“missing.txt”"},
        {{"-t", "auto", "--report", "m.properties"}, 0,
            "m.properties: read as ISO-8859-1: properties files are read in it unless they say otherwise",
            "m.properties：按 ISO-8859-1 读取，因为这是 properties 文件没有另外说明时的编码"},
    };
    for (const auto& c : cases) {
        const CliRun english = run_in("en", c.args), chinese = run_in("zh_CN", c.args);
        EXPECT_EQ(english.status, c.status) << testing::PrintToString(c.args) << english.err;
        EXPECT_EQ(chinese.status, c.status) << testing::PrintToString(c.args);
        EXPECT_EQ(english.out, chinese.out) << testing::PrintToString(c.args);
        EXPECT_TRUE(has(english.err, c.english));
        EXPECT_TRUE(has(chinese.err, c.chinese));
    }
}

TEST(Cli, NeverWritesAnUnmappableCharacterSilentlyAndCanKeepGoing)
{
    TempDir dir;
    dir.write("emoji.txt", "a😀\n");
    dir.write("bad.txt", "x\x1A");
    dir.write("out.txt", "old\r\n");
    EXPECT_TRUE(ended(run_cli(dir, {"--output-encoding", "gbk", "-o", "out.txt", "emoji.txt"}), 1,
        "有 1 个字符无法用 gbk 写出：😀 U+1F600"));
    EXPECT_EQ(TempDir::read(dir.path() / "out.txt"), "old\r\n");
    EXPECT_TRUE(ended(
        run_cli(dir, {"-e", "utf-8", "--replace-unmappable", "-o", "out.txt", "emoji.txt"}), 0, "U+1F600"));
    EXPECT_EQ(TempDir::read(dir.path() / "out.txt"), "a?\r\n");
    EXPECT_EQ(
        run_cli(dir, {"-e", "utf-8", "--output-encoding", "gb18030", "-o", "out.txt", "emoji.txt"}).status,
        0);
    EXPECT_EQ(TempDir::read(dir.path() / "out.txt"), "a\x94\x39\xFC\x36\r\n");

    const CliRun kept = run_cli(dir, {"-k", "-e", "utf-8", "bad.txt", "emoji.txt"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.out, "a😀\n");
    EXPECT_TRUE(has(kept.err, "文件“bad.txt”在第2个字符（文件偏移2）处发现Ctrl+Z字符"));
}

TEST(Cli, MakesTheFontsOfTheSetAndSaysWhatTheFontLacks)
{
    TempDir dir;
    dir.write("script.txt", "#\xD5\xC5\xC8\xFD\r\nhi \xC4\xE3\xA1\xF1\r\n");  // "#张三", "hi 你●"
    std::filesystem::create_directory(dir.path() / "out");
    for (const char* subset : {"game.woff2", "game.ttf"}) {
        const CliRun run = run_cli(dir,
            {"-m", "#", "-n", "1", "script.txt", "--font", microhei, "--subset", subset, "--atlas",
                "out/game.fnt", "--preview", "see.png", "-f", "json"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_FALSE(has_woff2_noise(run.err)) << run.err;
        EXPECT_EQ(nlohmann::json::parse(run.out)["font"]["missing"].size(), 0u);
    }
    for (const char* file : {"game.woff2", "game.ttf", "out/game.fnt", "out/game_0.png", "see.png"})
        EXPECT_TRUE(std::filesystem::file_size(dir.path() / file) > 0) << file;
    const CliRun strict = run_cli(dir,
        {"script.txt", "--font", inconsolata, "--require-all", "--subset", "strict.otf", "-o", "strict.txt"});
    EXPECT_TRUE(ended(strict, 1, "缺少 4 个字符：张 U+5F20、三 U+4E09、你 U+4F60、● U+25CF\n"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "strict.otf") ||
        std::filesystem::exists(dir.path() / "strict.txt"));
    dir.write("ascii.txt", "hi\r\n");
    EXPECT_TRUE(ended(run_cli(dir, {"ascii.txt", "--font", inconsolata, "--subset", "cff.ttf"}), 0,
        "CFF 格式，裁剪结果通常用 .otf"));
}

// Characters the text lacks (the digits of a placeholder, a font's punctuation)
// added to the set: after the text's own in the order given (the rules that
// choose among them: pipeline_test.cpp), counted 0, and seen by the font.
TEST(Cli, AddsCharactersTheTextLacks)
{
    TempDir dir;
    dir.write("hp.txt", "生命值：/100\n");  // what a stripped "生命值：{0}/100" leaves
    dir.write("more.txt", "\xC4\xE3\xBA\xC3\r\n");  // GBK "你好", told from its bytes
    dir.write("empty.txt", "");
    EXPECT_TRUE(printed(
        run_cli(
            dir, {"-e", "utf-8", "hp.txt", "--add", "2好", "--add-file", "more.txt", "--add-set", "digits"}),
        "生命值：/102好你3456789\n"));
    const CliRun empty = run_cli(dir, {"empty.txt", "--add-set", "digits"});
    EXPECT_EQ(empty.out, "0123456789\n");
    EXPECT_EQ(empty.err, "") << "not an empty set";
    EXPECT_TRUE(has(
        run_cli(dir, {"empty.txt", "--add", "x", "--no-ascii"}).err, "都被 --exclude、--only、--no-ascii"));

    const CliRun json = run_cli(dir, {"-e", "utf-8", "hp.txt", "-f", "json", "--add", "好", "--report"});
    const auto added = nlohmann::json::parse(json.out)["characters"].back();
    EXPECT_EQ(nlohmann::json::parse(json.out)["characters"][0]["first"],
        nlohmann::json::parse(R"({"path":"hp.txt","line":1,"column":1})"));  // the text's own have their place
    EXPECT_EQ(added["character"], "好");
    EXPECT_EQ(added["count"], 0);
    EXPECT_FALSE(added.contains("first"));
    EXPECT_TRUE(has(json.err, "不重复字符 8 个，其中另加 1 个（来源中没有）"));

    // The font sees it: a character the text lacks, lacking in the font too.
    const CliRun lacking =
        run_cli(dir, {"-e", "utf-8", "hp.txt", "--add", "好", "--font", inconsolata, "--report"});
    EXPECT_TRUE(has(lacking.err, "缺少 5 个字符：生 U+751F、命 U+547D、值 U+503C、： U+FF1A、好 U+597D\n"));
    EXPECT_TRUE(has(lacking.err, "好 U+597D  （另加的字符）"));

    EXPECT_TRUE(ended(
        run_cli(dir, {"hp.txt", "--add-file", "none.txt", "-o", "out.txt"}), 1, "无法打开文件“none.txt”"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.txt"));
}

// Searching a line hundreds of times longer than the buffer, as bytes or,
// for a marker outside the code page, as characters.
TEST(Cli, AHugeLineIsStreamedInBoundedMemory)
{
    TempDir dir;
    std::string chunk;
    while (chunk.size() < (1 << 20))
        chunk += "\xD6\xD0\xCE\xC4 ab\xB0\xA1";  // 中文 ab啊
    {
        std::ofstream out(dir.path() / "huge.txt", std::ios::binary);
        for (int i = 0; i < 160; ++i)
            out << chunk;
        out << "\xD7\xD6!\r\n\xCE\xB2";  // 字! at the end of a 160 MiB line, then 尾
    }
    for (const auto& [marker, set] :
        {std::pair{"\uFFFD", "\n"}, {"字", "中文 ab啊字!\n"}, {"b啊中", "中文 ab啊字!\n"}}) {
        const CliRun run = run_cli(dir, {"-m", marker, "huge.txt"});
        EXPECT_EQ(run.out, set);
        EXPECT_LT(run.peak_mib, 64.0) << "MiB at the peak";
        if (rounds_divisor > 1) break;  // one is enough to see the memory faults
    }
}

// Every instruction set the processor runs gives the bytes the best one gives.
TEST(Cli, EveryKernelGivesTheSameOutput)
{
    TempDir dir;
    std::mt19937 random(936);
    std::string gbk, utf8;
    for (int line = 0; line < 3000; ++line) {
        if (line % 7 == 0) gbk += "#";
        for (int n = static_cast<int>(random() % 40); n > 0; --n)
            gbk += random() % 9 ? std::string{char(0xB0 + random() % 40), char(0xA1 + random() % 94)}
                                : std::string(1, char(random() % 5 ? 'a' + random() % 26 : 0x81));
        gbk += line % 5 ? "\r\n" : "\n";
        std::u32string text;
        for (int n = static_cast<int>(random() % 30); n > 0; --n)
            text +=
                random() % 5 ? char32_t(0x4E00 + random() % 20000) : char32_t(random() % 3 ? 'x' : 0x1F600);
        utf8 += charlib::to_utf8(text) + (line % 11 ? "\n" : "\xFF\n");
    }
    dir.write("g.txt", gbk);
    dir.write("u.txt", utf8);
    const std::vector<std::string> cases[] = {{"-f", "counts", "g.txt"}, {"-m", "#", "-n", "1", "g.txt"},
        {"-m", "\xE5\x95\x8A", "--newline", "any", "g.txt"}, {"-e", "utf-8", "-f", "json", "u.txt"},
        {"-e", "utf-8", "-m", "x", "-n", "2", "u.txt"},
        {"-e", "auto", "--order", "freq", "-f", "tbl", "g.txt", "u.txt"}};
    for (const charlib::Kernel* kernel : charlib::runnable_kernels())
        for (const std::vector<std::string>& args : cases) {
            const CliRun best = run_cli(dir, args), forced = run_cli(dir, args, {}, kernel->name);
            EXPECT_EQ(forced.out, best.out) << kernel->name << " " << testing::PrintToString(args);
            EXPECT_EQ(forced.status, best.status);
        }
    EXPECT_TRUE(ended(run_cli(dir, {"g.txt"}, {}, "neon"), 2, "环境变量 CHARLIB_ISA"));
}

}  // namespace
