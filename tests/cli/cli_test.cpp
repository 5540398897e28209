#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>

#include "temp_dir.h"

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

// Runs charlib-cli in `dir` with the arguments, capturing both outputs.
CliRun run_cli(const TempDir& dir, const std::vector<std::string>& args)
{
    std::string command = "cd " + quoted(dir.path().string()) + " && " + quoted(CHARLIB_CLI);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    command += " >.out 2>.err </dev/null";
    const int status = std::system(command.c_str());
    CliRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = TempDir::read(dir.path() / ".out");
    run.err = TempDir::read(dir.path() / ".err");
    std::filesystem::remove(dir.path() / ".out");
    std::filesystem::remove(dir.path() / ".err");
    return run;
}

const char* const script = "#\xD5\xC5\xC8\xFD\r\n\xC4\xE3\xBA\xC3\xA3\xA1\r\n#\xC0\xEE\xCB\xC4\r\nhello\r\n";
// "#张三", "你好！", "#李四", "hello"

TEST(Cli, PrintsTheCharacterSetAsUtf8)
{
    TempDir dir;
    dir.write("script.txt", script);
    EXPECT_EQ(run_cli(dir, {"script.txt"}).out, "#张三你好！李四helo\n");
    EXPECT_EQ(run_cli(dir, {"-m", "#", "script.txt"}).out, "#张三李四\n");
    EXPECT_EQ(run_cli(dir, {"--marker", "#", "--offset", "1", "script.txt"}).out, "你好！helo\n");
    EXPECT_EQ(run_cli(dir, {"--marker=张", "-n", "0", "script.txt"}).out, "#张三\n");
    EXPECT_EQ(run_cli(dir, {"-s", "-m", "#", "script.txt"}).out, "#三四张李\n");
    const CliRun empty = run_cli(dir, {"-m", "none", "script.txt"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "\n");
}

TEST(Cli, WritesTheOutputFileInCodePage936WithCrLf)
{
    TempDir dir;
    dir.write("文本 一.txt", "a\xD6\xD0\r\n");
    dir.write("END.txt", "old content\r\n");
    const CliRun run = run_cli(dir, {"-o", "END.txt", "文本 一.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(TempDir::read(dir.path() / "END.txt"), "a\xD6\xD0\r\n");
}

TEST(Cli, AnEmptyFileGivesAnEmptySet)
{
    TempDir dir;
    dir.write("empty.txt", "");
    EXPECT_EQ(run_cli(dir, {"empty.txt"}).out, "\n");
    EXPECT_EQ(run_cli(dir, {"-o", "END.txt", "empty.txt"}).status, 0);
    EXPECT_EQ(TempDir::read(dir.path() / "END.txt"), "\r\n");
}

TEST(Cli, RefusesAFileWithControlZNamingTheOffset)
{
    TempDir dir;
    dir.write("dump.bin", "abc\r\n\x1A tail");
    const CliRun run = run_cli(dir, {"-o", "END.txt", "dump.bin"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("dump.bin"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("在文件偏移6处发现Ctrl+Z字符"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "END.txt"));
}

TEST(Cli, FileFailuresNameThePathAndLeaveTheOutputAsItWas)
{
    TempDir dir;
    const CliRun missing = run_cli(dir, {"missing.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("无法打开文件“missing.txt”：文件或文件夹不存在"), std::string::npos)
        << missing.err;

    std::filesystem::create_directory(dir.path() / "folder");
    EXPECT_EQ(run_cli(dir, {"folder"}).status, 1);

    dir.write("in.txt", "abc\r\n");
    const CliRun to_folder = run_cli(dir, {"-o", "folder", "in.txt"});
    EXPECT_EQ(to_folder.status, 1);
    EXPECT_NE(to_folder.err.find("无法写入文件“folder”"), std::string::npos) << to_folder.err;

    const auto kept = dir.write("kept.txt", "kept\r\n");
    std::filesystem::permissions(kept, std::filesystem::perms::owner_read);
    EXPECT_EQ(run_cli(dir, {"-o", "kept.txt", "in.txt"}).status, 1);
    EXPECT_EQ(TempDir::read(kept), "kept\r\n");
}

TEST(Cli, BadUsageExitsWithTwo)
{
    TempDir dir;
    dir.write("in.txt", "abc\r\n");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"--bogus", "in.txt"},
             {"-n", "-1", "in.txt"},
             {"-n", "1.5", "in.txt"},
             {"-n", "x", "in.txt"},
             {"-n", "", "in.txt"},
             {"in.txt", "in.txt"},
             {"-m"},
             {"-m", "\xFF", "in.txt"},
         }) {
        const CliRun run = run_cli(dir, args);
        EXPECT_EQ(run.status, 2) << testing::PrintToString(args);
        EXPECT_NE(run.err.find("charlib-cli --help"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    const CliRun help = run_cli(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("-m, --marker TEXT"), std::string::npos);
    EXPECT_EQ(run_cli(dir, {"--version"}).out, "charlib-cli 1.0.0\n");
    // A file whose name begins with '-' can follow "--".
    dir.write("-dash.txt", "z\r\n");
    EXPECT_EQ(run_cli(dir, {"--", "-dash.txt"}).out, "z\n");
}

TEST(Cli, AHugeLineIsStreamedInBoundedMemory)
{
    TempDir dir;
    {
        std::ofstream out(dir.path() / "huge.txt", std::ios::binary);
        const std::string chunk(1 << 20, 'x');
        for (int i = 0; i < 160; ++i)
            out << chunk;
        out << "\xD6\xD0!";  // 中! at the very end of a 160 MiB line
    }
    const CliRun run = run_cli(dir, {"-m", "中", "-o", "END.txt", "huge.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(TempDir::read(dir.path() / "END.txt"), "x\xD6\xD0!\r\n");
    struct rusage usage { };
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss / 1024.0, 64.0) << "MiB at the peak";
}

TEST(Cli, RefusesPipesAndDevicesWithoutWaiting)
{
    TempDir dir;
    ASSERT_EQ(mkfifo((dir.path() / "pipe").c_str(), 0644), 0);
    for (const char* path : {"pipe", "/dev/zero"}) {
        const CliRun run = run_cli(dir, {path});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("这不是普通文件"), std::string::npos) << run.err;
    }
}

}  // namespace
