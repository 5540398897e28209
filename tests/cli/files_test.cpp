// charlib-cli and the files users really have: outputs that are links,
// devices, pipes or inputs; folders with hidden files, links and pipes;
// sources that are streams, badly encoded, or have Unix line ends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "run_cli.h"

namespace {

namespace fs = std::filesystem;

TEST(Files, AnOutputThatIsALinkADeviceOrAPipeStaysWhatItIs)
{
    TempDir dir;
    dir.write("s.txt", "ab\r\n");
    dir.write("real.txt", "old");
    fs::create_symlink("real.txt", dir.path() / "link.txt");
    fs::create_symlink("made.txt", dir.path() / "dangling.txt");
    fs::create_symlink("/dev/null", dir.path() / "devnull");
    const bool device = ::mknod((dir.path() / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0644), 0);
    const int reader = ::open((dir.path() / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    for (const char* output : {"link.txt", "dangling.txt", "devnull", "null", "fifo", "-"}) {
        if (std::string(output) == "null" && !device) continue;  // mknod needs root
        const CliRun run = run_cli(dir, {"-o", output, "s.txt"});
        EXPECT_EQ(run.status, 0) << output << run.err;
        EXPECT_EQ(run.out, std::string(output) == "-" ? "ab\r\n" : "") << output;
    }
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.txt") && fs::is_symlink(dir.path() / "dangling.txt"));
    EXPECT_EQ(
        TempDir::read(dir.path() / "real.txt") + TempDir::read(dir.path() / "made.txt"), "ab\r\nab\r\n");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(!device || fs::is_character_file(dir.path() / "null"));
    char piped[16] = {};
    EXPECT_EQ(::read(reader, piped, sizeof piped), 4);
    EXPECT_STREQ(piped, "ab\r\n");
    ::close(reader);
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".real"))
            << "a backup or temporary file left";
}

TEST(Files, NoOutputIsEverOneOfTheInputs)
{
    TempDir dir;
    dir.write("s.txt", "ab\r\n");
    fs::create_hard_link(dir.path() / "s.txt", dir.path() / "hard.txt");
    dir.write("out.txt", "kept\r\n");
    dir.write("page_3.png", "not a page");
    fs::copy_file(microhei, dir.path() / "f.ttc");  // never the system's own copy
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-o", "hard.txt", "s.txt"}, "“hard.txt”就是输入文件“s.txt”"},  // the same file by any name
        {{"-o", "out.txt", "--exclude", "out.txt", "s.txt"}, "输入文件“out.txt”"},
        {{"--add-file", "s.txt", "-o", "hard.txt", "-e", "utf-8", "-"}, "“hard.txt”就是输入文件“s.txt”"},
        {{"--font", "f.ttc", "--subset", "f.ttc.ttf", "--preview", "s.txt", "s.txt"}, "“s.txt”就是"},
        {{"--font", "f.ttc", "--atlas", "page", "page_3.png"}, "“./page_3.png”就是输入文件“page_3.png”"},
        {{"--font", "f.ttc", "--atlas", "page", "--preview", "page_0.png", "s.txt"},
            "会被点阵字库的页面覆盖"},
        {{"-o", "a.txt", "--font", "f.ttc", "--preview", "./a.txt", "s.txt"}, "两个输出是同一个文件"},
        {{"--font", "f.ttc", "--atlas", "s", "--grid", "16x16", "s.widths"}, "“s.widths”就是输入文件"},
        {{"--font", "f.ttc", "--atlas", "s", "--atlas-format", "json", "s.json"}, "“s.json”就是输入文件"},
        {{"--font", "f.ttc", "--web", ".", "-t", "html", "index.html"}, "“./index.html”就是输入文件"},
    };
    dir.write("s.widths", "a\r\n");
    dir.write("s.json", "{}");
    dir.write("index.html", "<p>a</p>");
    for (const auto& [args, message] : cases) {
        EXPECT_TRUE(ended(run_cli(dir, args), 2, message)) << testing::PrintToString(args);
    }
    // Standard input read from the output itself.
    EXPECT_EQ(
        std::system(
            ("cd " + dir.path().string() + " && " CHARLIB_CLI " -o s.txt - <s.txt 2>/dev/null").c_str()),
        2 << 8);
    EXPECT_EQ(TempDir::read(dir.path() / "s.txt") + TempDir::read(dir.path() / "out.txt"), "ab\r\nkept\r\n");
    EXPECT_EQ(TempDir::read(dir.path() / "page_3.png"), "not a page");
}

TEST(Files, AFolderRunReadsNeitherItsOwnOutputsNorNothing)
{
    TempDir dir;
    fs::create_directories(dir.path() / "d");
    fs::create_directories(dir.path() / "in");
    dir.write("d/a.txt", "ab\r\n");
    dir.write("E.txt", "an older set\r\n");
    for (int round = 0; round < 2; ++round) {  // the first run's END.txt is not read by the second
        EXPECT_EQ(run_cli(dir, {"-r", "-o", "d/END.txt", "d"}).status, 0);
        EXPECT_EQ(TempDir::read(dir.path() / "d/END.txt"), "ab\r\n");
    }
    EXPECT_TRUE(ended(run_cli(dir, {"-r", "--glob", "*.tx", "-o", "E.txt", "in", "d"}), 1,
        "没有找到来源文件：“in”、“d”中没有文件名与 *.tx 相配的文件"));
    EXPECT_TRUE(ended(run_cli(dir, {"-k", "-o", "E.txt", "missing.txt"}), 1, "没有一个来源能用"));
    EXPECT_EQ(TempDir::read(dir.path() / "E.txt"), "an older set\r\n");
}

TEST(Files, AFolderIsReadOnceEachFileHiddenOnesOnAskingAndSkipsAreNamed)
{
    TempDir dir;
    fs::create_directories(dir.path() / "t/.git");
    fs::create_directories(dir.path() / "t/dir.txt");
    dir.write("t/a.txt", "a");
    dir.write("t/dir.txt/c.txt", "c");
    dir.write("t/.h.txt", "h");
    dir.write("t/.git/g.txt", "g");
    dir.write("t/UP.TXT", "u");
    fs::create_symlink("a.txt", dir.path() / "t/link.txt");
    fs::create_symlink("gone", dir.path() / "t/dangling.txt");
    ASSERT_EQ(::mkfifo((dir.path() / "t/pipe.txt").c_str(), 0644), 0);  // never waited on
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-r", "t"}, "ac\n"}, {{"-r", "--hidden", "t"}, "ghac\n"},
        {{"-r", "--iglob", "*.txt", "t"}, "uac\n"}, {{"-r", "--glob", "*.TXT", "t"}, "u\n"},
        {{"-r", "t", "t/a.txt"}, "ac\n"},  // named again: read once
    };
    for (const auto& [args, set] : cases)
        EXPECT_TRUE(printed(run_cli(dir, args), set)) << testing::PrintToString(args);
    const std::string warned = run_cli(dir, {"-r", "t"}).err;
    EXPECT_EQ(std::count(warned.begin(), warned.end(), '\n'), 1) << "one warning: " << warned;
    for (const char* skipped : {"“t/dangling.txt”（链接指向的文件不存在）", "“t/dir.txt”（这是一个文件夹）",
             "“t/pipe.txt”（不是普通文件", "“t/link.txt”（与“t/a.txt”是同一个文件"})
        EXPECT_TRUE(has(warned, skipped));

    const CliRun kept = run_cli(dir, {"-k", "-f", "json", "t/a.txt", "t/missing.txt"});
    EXPECT_EQ(kept.status, 1);
    const auto json = nlohmann::json::parse(kept.out);
    EXPECT_EQ(json["sources"][0]["lines"], 1);
    // The json says what happened as data, the same in every language.
    EXPECT_EQ(json["sources"][1]["error"],
        nlohmann::json({{"code", "cannot-open"}, {"path", "t/missing.txt"}, {"error", ENOENT}}));
}

TEST(Files, SourcesMayBeStreamsAndWhatIsOddInThemIsSaid)
{
    TempDir dir;
    dir.write("g.gbk", "\xD6\xD0\xCE\xC4\r\nab\x81\r\n");  // "中文", "ab" and a lead byte alone
    dir.write("lf.gbk", "ab\ncd\n");
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0644), 0);
    std::thread writer([&] {
        const int fd = ::open((dir.path() / "fifo").c_str(), O_WRONLY);
        EXPECT_EQ(::write(fd, "\xE4\xBD\xA0\n", 4), 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // then a read of one byte
        EXPECT_EQ(::write(fd, "x", 1), 1);
        ::close(fd);
    });
    const CliRun piped = run_cli(dir, {"-e", "utf-8", "fifo", "-"}, "好\n");
    writer.join();
    EXPECT_EQ(piped.out, "你x好\n") << piped.err;
    EXPECT_EQ(piped.err, "");

    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"g.gbk"}, 0, "“g.gbk”有 1 处无效字节序列（按 gbk 读取），第一处在第 2 行第 9 字节"},
        {{"-e", "utf-8", "g.gbk"}, 0,
            "“g.gbk”有 5 处无效字节序列（按 utf-8 读取），第一处在第 1 行第 1 字节"},
        {{"--strict", "-o", "out.txt", "g.gbk"}, 1, "第 2 行第 9 字节；不用这个来源（--strict）"},
        {{"lf.gbk"}, 0, "“lf.gbk”只用 LF 换行，没有一个 CR"},
        {{"-m", "#", "lf.gbk"}, 0, "--newline any"},
        {{"--newline", "any", "lf.gbk"}, 0, ""},
    };
    for (const auto& [args, status, message] : cases) {
        const CliRun run = run_cli(dir, args);
        EXPECT_EQ(run.status, status) << testing::PrintToString(args);
        if (message.empty())
            EXPECT_EQ(run.err, "");
        else
            EXPECT_TRUE(has(run.err, message));
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out.txt"));
}

// A process whose environment is `bytes`, cut at their NUL bytes: its
// /proc/PID/environ holds them, a regular file the kernel says is empty.
class BytesInProc {
public:
    explicit BytesInProc(const std::string& bytes) : bytes_(bytes + '\0')
    {
        std::vector<std::string> pieces(1);
        for (const char c : bytes)
            c == '\0' ? void(pieces.emplace_back()) : pieces.back().push_back(c);
        std::vector<char*> environment;
        for (std::string& piece : pieces)
            environment.push_back(piece.data());
        environment.push_back(nullptr);
        char* const argv[] = {const_cast<char*>("sleep"), const_cast<char*>("60"), nullptr};
        ::posix_spawn(&pid_, "/bin/sleep", nullptr, nullptr, argv, environment.data());
    }
    ~BytesInProc()
    {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    std::string path() const  // once the process has its new environment
    {
        const std::string file = "/proc/" + std::to_string(pid_) + "/environ";
        for (int i = 0; i < 1000 && TempDir::read(file) != bytes_; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return file;
    }

private:
    std::string bytes_;
    pid_t pid_ = -1;
};

TEST(Files, AFileTheKernelSaysIsEmptyIsReadToItsEnd)
{
    TempDir dir;
    dir.write("s.txt", "\xE4\xB8\xAD\xE6\x96\x87\x61\x62\n");  // 中文ab
    dir.write("a.txt", "ab");
    ASSERT_EQ(run_cli(dir, {"-e", "utf-8", "--font", microhei, "--subset", "small.ttf", "a.txt"}).status, 0);
    const BytesInProc text("<p>\xE4\xB8\xAD\xE6\x96\x87</p>"), font(TempDir::read(dir.path() / "small.ttf"));
    ASSERT_EQ(fs::file_size(text.path()), 0u);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--no-ascii", text.path()}, "\xE4\xB8\xAD\xE6\x96\x87\n"},
        {{"--newline", "any", "--exclude", text.path(), "s.txt"}, "ab\n"},
        {{"--font", font.path(), "--subset", "again.ttf", "a.txt"}, ""},  // standard output stays empty
    };
    for (const auto& [args, set] : cases)
        EXPECT_TRUE(printed(run_cli(dir, joined({"-e", "utf-8"}, args)), set))
            << testing::PrintToString(args);
    EXPECT_FALSE(TempDir::read(dir.path() / "again.ttf").empty());
    // Read as a translation file it is read to its end too: to the NUL the kernel ends it with.
    const CliRun html = run_cli(dir, {"-t", "html", text.path()});
    EXPECT_TRUE(has(html.err, "第 1 行第 10 列：有 NUL 字符"));
}

TEST(Files, AStreamIsCopiedNoFurtherThanItCanBeUsed)
{
    TempDir dir;
    fs::create_directory(dir.path() / "tmp");
    // The first bounded, so that a copy going on past the limit fails without filling the disk.
    const std::pair<std::string, std::string> cases[] = {
        {"yes | head -c 400000000 | TMPDIR=tmp " CHARLIB_CLI " -t json -o out.json -",
            "“-”超过上限 268,435,456 字节（256 MiB），不能按 json 读取（翻译文件要整个读入内存）"},
        {"echo ab | TMPDIR=missing " CHARLIB_CLI " -o out.json -",
            "无法写入文件“missing”：文件或文件夹不存在"},
    };
    for (const auto& [command, message] : cases) {
        EXPECT_EQ(std::system(("cd " + dir.path().string() + " && " + command + " 2>.err").c_str()), 1 << 8);
        const std::string err = TempDir::read(dir.path() / ".err");
        EXPECT_TRUE(has(err, message));
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out.json"));
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
}

TEST(Files, ARunThatFailsPrintsNothingAndMakesNoWebFolder)
{
    TempDir dir;
    dir.write("a.txt", "ab");
    fs::create_directory(dir.path() / "folder.ttf");
    fs::create_symlink("/dev/full", dir.path() / "full.ttf");  // takes no byte: ENOSPC at commit
    fs::create_symlink("loop", dir.path() / "loop");
    fs::create_directory(dir.path() / "locked");
    fs::permissions(dir.path() / "locked", fs::perms(0555));  // refused even for root
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"--web", "new", "--subset", "folder.ttf"}, 1, "无法写入文件“folder.ttf”：这是一个文件夹"},
        {{"--web", "new", "--subset", "full.ttf"}, 1, "无法写入文件“full.ttf”：磁盘空间不足"},
        {{"--web", "locked/new"}, 1, "无法写入文件“locked/new”：没有访问权限"},
        {{"--preview", "loop", "--subset", "s.ttf"}, 1, "无法写入文件“loop”：符号链接太多"},
        {{"--web", "new/", "-o", "./new/END.txt"}, 0, ""},
    };
    for (const auto& [args, status, message] : cases) {
        const CliRun run = run_cli(dir, joined({"-e", "utf-8", "--font", microhei, "a.txt"}, args));
        EXPECT_TRUE(ended(run, status, message)) << testing::PrintToString(args);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(fs::exists(dir.path() / "new"), status == 0) << testing::PrintToString(args);
        EXPECT_FALSE(fs::exists(dir.path() / "s.ttf"));
    }
    EXPECT_TRUE(fs::is_empty(dir.path() / "locked"));
    for (const char* file : {"font.css", "index.html", "END.txt"})
        EXPECT_TRUE(fs::is_regular_file(dir.path() / "new" / file)) << file;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".new")) << entry.path();
}

}  // namespace
