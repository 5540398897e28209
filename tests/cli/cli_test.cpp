// charlib-cli end to end: output, files, failures and usage.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>

#include "temp_dir.h"

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

// Runs charlib-cli in `dir` with the arguments, capturing both outputs.
CliRun run_cli(const TempDir& dir, const std::vector<std::string>& args)
{
    const auto quoted = [](const std::string& text) {
        std::string result = "'";
        for (char c : text)
            result += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return result + "'";
    };
    std::string command = "cd " + quoted(dir.path().string()) + " && " + quoted(CHARLIB_CLI);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    const int status = std::system((command + " >.out 2>.err </dev/null").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, TempDir::read(dir.path() / ".out"),
        TempDir::read(dir.path() / ".err")};
}

TEST(Cli, PrintsTheCharacterSetAsUtf8OrWritesItInCodePage936)
{
    TempDir dir;
    // "#张三", "你好！", "#李四", "hello"
    dir.write("script 一.txt", "#\xD5\xC5\xC8\xFD\r\n\xC4\xE3\xBA\xC3\xA3\xA1\r\n#\xC0\xEE\xCB\xC4\r\nhello\r\n");
    dir.write("empty.txt", "");
    dir.write("-dash.txt", "z\r\n");  // a name beginning with '-' can follow "--"
    dir.write("END.txt", "an older, longer set\r\n");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"script 一.txt"}, "#张三你好！李四helo\n"}, {{"-m", "#", "script 一.txt"}, "#张三李四\n"},
        {{"--marker", "#", "--offset", "1", "script 一.txt"}, "你好！helo\n"},
        {{"--marker=张", "-n", "0", "script 一.txt"}, "#张三\n"}, {{"-s", "-m", "#", "script 一.txt"}, "#三四张李\n"},
        {{"--sort", "-m", "none", "script 一.txt"}, "\n"}, {{"empty.txt"}, "\n"}, {{"--", "-dash.txt"}, "z\n"},
        {{"--version"}, "charlib-cli 1.0.0\n"}, {{"-o", "END.txt", "-m", "张", "script 一.txt"}, ""}};
    for (const auto& [args, out] : cases) {
        const CliRun run = run_cli(dir, args);
        EXPECT_EQ(run.out, out) << testing::PrintToString(args);
        EXPECT_EQ(run.status, 0) << run.err;
    }
    EXPECT_EQ(TempDir::read(dir.path() / "END.txt"), "#\xD5\xC5\xC8\xFD\r\n");
    EXPECT_EQ(run_cli(dir, {"-o", "END.txt", "empty.txt"}).status, 0);
    EXPECT_EQ(TempDir::read(dir.path() / "END.txt"), "\r\n");
}

TEST(Cli, FailuresNameTheFileAndLeaveTheOutputAsItWas)
{
    TempDir dir;
    dir.write("in.txt", "abc\r\n");
    dir.write("dump.bin", "abc\r\n\x1A tail");
    std::filesystem::create_directory(dir.path() / "folder");
    ASSERT_EQ(mkfifo((dir.path() / "pipe").c_str(), 0644), 0);  // never waited on
    std::filesystem::permissions(dir.write("kept.txt", "kept\r\n"), std::filesystem::perms::owner_read);
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"-o", "out.txt", "dump.bin"}, 1, "文件“dump.bin”在文件偏移6处发现Ctrl+Z字符"},
        {{"-o", "out.txt", "missing.txt"}, 1, "无法打开文件“missing.txt”：文件或文件夹不存在"},
        {{"-o", "out.txt", "folder"}, 1, "无法打开文件“folder”：这是一个文件夹"},
        {{"-o", "out.txt", "pipe"}, 1, "无法打开文件“pipe”：这不是普通文件"}, {{"/dev/zero"}, 1, "这不是普通文件"},
        {{"-o", "folder", "in.txt"}, 1, "无法写入文件“folder”"},
        {{"-o", "kept.txt", "in.txt"}, 1, "无法写入文件“kept.txt”：没有访问权限"},
        {{"-o", "out.txt"}, 2, "charlib-cli --help"}, {{"--bogus", "in.txt"}, 2, "charlib-cli --help"},
        {{"-n", "-1", "in.txt"}, 2, ""}, {{"-n", "1.5", "in.txt"}, 2, ""}, {{"-n", "x", "in.txt"}, 2, ""},
        {{"-n", "", "in.txt"}, 2, ""}, {{"in.txt", "in.txt"}, 2, ""}, {{"-m"}, 2, ""},
        {{"-m", "\xFF", "-o", "out.txt", "in.txt"}, 2, ""}};
    for (const auto& [args, status, message] : cases) {
        const CliRun run = run_cli(dir, args);
        EXPECT_EQ(run.status, status) << testing::PrintToString(args);
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.txt"));
    EXPECT_EQ(TempDir::read(dir.path() / "kept.txt"), "kept\r\n");
    EXPECT_NE(run_cli(dir, {"--help"}).out.find("-m, --marker TEXT"), std::string::npos);
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
    for (const auto& [marker, set] : {std::pair{"字", "中文 ab啊字!\n"}, {"\uFFFD", "\n"}, {"b啊中", "中文 ab啊字!\n"}})
        EXPECT_EQ(run_cli(dir, {"-m", marker, "huge.txt"}).out, set);
    struct rusage usage { };
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss / 1024.0, 64.0) << "MiB at the peak";
}

}  // namespace
