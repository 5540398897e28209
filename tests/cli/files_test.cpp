// charlib-cli and the files users really have: outputs that are links,
// devices, pipes or inputs; folders with hidden files, links and pipes;
// sources that are streams, badly encoded, or have Unix line ends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "cli_child.h"
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
    fs::create_directory(dir.path() / "sub");
    fs::create_hard_link(dir.path() / "s.txt", dir.path() / "hard.txt");
    dir.write("out.txt", "kept\r\n");
    dir.write("page_3.png", "not a page");
    fs::copy_file(microhei, dir.path() / "f.ttc");  // never the system's own copy
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-o", "s.txt", "s.txt"}, "“s.txt”就是输入文件“s.txt”"},
        {{"-o", "sub/../s.txt", "s.txt"}, "“sub/../s.txt”就是输入文件“s.txt”"},
        {{"-o", "hard.txt", "s.txt"}, "“hard.txt”就是输入文件“s.txt”"},
        {{"-o", "out.txt", "--exclude", "out.txt", "s.txt"}, "输入文件“out.txt”"},
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
        const CliRun run = run_cli(dir, args);
        EXPECT_EQ(run.status, 2) << testing::PrintToString(args) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
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
    const CliRun none = run_cli(dir, {"-r", "--glob", "*.tx", "-o", "E.txt", "in", "d"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("没有找到来源文件：“in”、“d”中没有文件名与 *.tx 相配的文件"), std::string::npos)
        << none.err;
    const CliRun failed = run_cli(dir, {"-k", "-o", "E.txt", "missing.txt"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("没有一个来源能用"), std::string::npos) << failed.err;
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
    for (const auto& [args, set] : cases) {
        const CliRun run = run_cli(dir, args);
        EXPECT_EQ(run.out, set) << testing::PrintToString(args);
        EXPECT_EQ(run.status, 0) << run.err;
    }
    const std::string warned = run_cli(dir, {"-r", "t"}).err;
    EXPECT_EQ(std::count(warned.begin(), warned.end(), '\n'), 1) << "one warning: " << warned;
    for (const char* skipped : {"“t/dangling.txt”（链接指向的文件不存在）", "“t/dir.txt”（这是一个文件夹）",
             "“t/pipe.txt”（不是普通文件", "“t/link.txt”（与“t/a.txt”是同一个文件"})
        EXPECT_NE(warned.find(skipped), std::string::npos) << warned;

    const CliRun kept = run_cli(dir, {"-k", "-f", "json", "t/a.txt", "t/missing.txt"});
    EXPECT_EQ(kept.status, 1);
    const auto json = nlohmann::json::parse(kept.out);
    EXPECT_EQ(json["sources"][0]["lines"], 1);
    EXPECT_NE(json["sources"][1]["error"].get<std::string>().find("t/missing.txt”：文件或文件夹不存在"),
        std::string::npos);
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
        {{"--strict", "-o", "out.txt", "g.gbk"}, 1, "有 --strict，不用这个来源"},
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
            EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out.txt"));
}

TEST(Files, WhatTheSystemRefusesIsSaidInChineseNeverThrownOut)
{
    TempDir dir;
    dir.write("s.txt", "ab\r\n");
    fs::create_symlink("loop2", dir.path() / "loop1");
    fs::create_symlink("loop1", dir.path() / "loop2");
    const std::tuple<std::vector<std::string>, fs::path, std::string> cases[] = {
        {{"-o", "loop1", "--font", microhei, "--preview", "p.png", "s.txt"}, dir.path(),
            "无法写入文件“loop1”：符号链接太多"},
        {{"-"}, dir.path() / "missing",
            "无法写入文件“" + (dir.path() / "missing").string() + "”：文件或文件夹不存在"},
    };
    for (const auto& [args, temporary, message] : cases) {
        CliChild child(dir, args, temporary);
        child.write("ab\r\n");
        child.close_input();
        const int status = child.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << testing::PrintToString(args) << status;
        const std::string err = TempDir::read(dir.path() / ".err");
        EXPECT_NE(err.find(message), std::string::npos) << err;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "p.png"));
}

// A process whose environment is `bytes`, cut at their NUL bytes: its
// /proc/PID/environ holds them, a regular file whose size the kernel says is 0.
class BytesInProc {
public:
    explicit BytesInProc(const std::string& bytes) : bytes_(bytes + '\0')
    {
        std::vector<std::string> pieces(1);
        for (const char c : bytes) {
            if (c == '\0')
                pieces.emplace_back();
            else
                pieces.back().push_back(c);
        }
        std::vector<char*> environment;
        for (std::string& piece : pieces)
            environment.push_back(piece.data());
        environment.push_back(nullptr);
        char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("60"), nullptr};
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execve("/bin/sleep", argv, environment.data());
            ::_exit(127);
        }
    }
    ~BytesInProc()
    {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    // Once the process runs with its new environment.
    fs::path path() const
    {
        const fs::path file = "/proc/" + std::to_string(pid_) + "/environ";
        EXPECT_TRUE(eventually([&] { return TempDir::read(file) == bytes_; }));
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
    const std::string shown = text.path().string();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-e", "utf-8", "--no-ascii", shown}, "\xE4\xB8\xAD\xE6\x96\x87\n"},
        {{"-e", "utf-8", "-t", "html", "--no-ascii", shown}, "\xE4\xB8\xAD\xE6\x96\x87\n"},
        {{"-e", "utf-8", "--newline", "any", "--exclude", shown, "s.txt"}, "ab\n"},
        {{"-e", "utf-8", "--font", font.path().string(), "--subset", "again.ttf", "a.txt"}, "ab\n"},
    };
    for (const auto& [args, set] : cases) {
        const CliRun run = run_cli(dir, args);
        EXPECT_EQ(run.status, 0) << testing::PrintToString(args) << run.err;
        EXPECT_EQ(run.out, set) << testing::PrintToString(args) << run.err;
    }
    EXPECT_GT(TempDir::read(dir.path() / "again.ttf").size(), 0u);
    // A file that is truly empty is still read as one.
    dir.write("empty.txt", "");
    EXPECT_NE(run_cli(dir, {"empty.txt"}).err.find("来源中没有非空的行"), std::string::npos);
}

TEST(Files, AStreamReadAsATranslationFileIsCopiedNoFurtherThanTheLimit)
{
    TempDir dir;
    fs::create_directory(dir.path() / "tmp");
    // Bounded, so that a copy that goes on past the limit fails the test without filling the disk.
    const std::string run = "cd " + dir.path().string() +
        " && yes | head -c 400000000 | TMPDIR=tmp " CHARLIB_CLI +
        std::string(" -t json -o out.json - 2>.err");
    EXPECT_EQ(std::system(run.c_str()), 1 << 8);
    EXPECT_NE(
        TempDir::read(dir.path() / ".err")
            .find("“-”超过上限 268,435,456 字节（256 MiB），不能按 json 读取（翻译文件要整个读入内存）"),
        std::string::npos)
        << TempDir::read(dir.path() / ".err");
    EXPECT_FALSE(fs::exists(dir.path() / "out.json"));
    EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
}

// The bytes in the folder's files, 0 while it has none.
std::uintmax_t bytes_in(const fs::path& folder)
{
    std::error_code error;
    std::uintmax_t total = 0;
    for (const auto& entry : fs::directory_iterator(folder, error))
        total += entry.file_size(error);
    return total;
}

TEST(Files, AnEndingSignalRemovesTheStreamCopyAndStillEndsTheRun)
{
    // The signal, and whether the run was started ignoring it (nohup).
    for (const auto& [signal, ignored] :
        {std::pair{SIGTERM, false}, {SIGINT, false}, {SIGHUP, false}, {SIGHUP, true}}) {
        TempDir dir;
        fs::create_directory(dir.path() / "tmp");
        CliChild child(dir, {"-t", "lines", "-"}, dir.path() / "tmp", ignored ? signal : 0);
        ASSERT_TRUE(child.write("ab\r\n"));
        ASSERT_TRUE(eventually([&] { return bytes_in(dir.path() / "tmp") == 4; }));  // copied; more awaited
        ::kill(child.pid(), signal);
        if (ignored) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            child.close_input();
        }
        const int status = child.wait();
        if (ignored)
            EXPECT_TRUE(
                WIFEXITED(status) && WEXITSTATUS(status) == 0 && TempDir::read(dir.path() / ".out") == "ab\n")
                << status;
        else
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << ": " << status;
        EXPECT_TRUE(fs::is_empty(dir.path() / "tmp")) << signal;
    }
}

// The names in the folder that begin with `start`.
std::vector<std::string> named_like(const fs::path& folder, const std::string& start)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(start)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Files, AKillAfterTheRenamesLeavesOldFilesThatTheNextRunRemovesASignalLeavesNone)
{
    for (const int signal : {SIGTERM, SIGKILL}) {
        TempDir dir;
        fs::create_directory(dir.path() / "tmp");
        dir.write("a.txt", "ab");
        dir.write("sub.ttf", "old");
        ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0644), 0);
        // No one reads the pipe: the run waits to open it, its files renamed, their old ones kept aside.
        CliChild child(
            dir, {"-o", "fifo", "--font", microhei, "--subset", "sub.ttf", "a.txt"}, dir.path() / "tmp");
        ASSERT_TRUE(eventually([&] {
            return TempDir::read(dir.path() / "sub.ttf") != "old" &&
                !named_like(dir.path(), ".sub.ttf").empty();
        }));
        const std::vector<std::string> kept = named_like(dir.path(), ".sub.ttf");
        EXPECT_EQ(kept[0].substr(0, 21), ".sub.ttf.charlib-old-");
        ::kill(child.pid(), signal);
        const int status = child.wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(named_like(dir.path(), ".sub.ttf"), signal == SIGKILL ? kept : std::vector<std::string>{});
        const std::string subset = TempDir::read(dir.path() / "sub.ttf");
        EXPECT_NE(subset, "old");

        const CliRun next =
            run_cli(dir, {"-o", "out.txt", "--font", microhei, "--subset", "sub.ttf", "a.txt"});
        EXPECT_EQ(next.status, 0) << next.err;
        EXPECT_EQ(next.err.find("注意：上次运行在写入时被中断，已删除它留下的临时文件“" + kept[0] + "”") !=
                std::string::npos,
            signal == SIGKILL)
            << next.err;
        EXPECT_EQ(named_like(dir.path(), ".sub.ttf"), std::vector<std::string>{});
        EXPECT_EQ(TempDir::read(dir.path() / "sub.ttf"), subset);
    }
}

TEST(Files, ARunKilledBeforeItsRenamesIsUndoneByTheNext)
{
    TempDir dir;
    dir.write("s.txt", "ab\r\n");
    // The old END.txt moved aside (no hard links), the new one not yet renamed in place.
    dir.write(".END.txt.charlib-old-4194305-0badc0de", "old\r\n");
    dir.write(".END.txt.charlib-new-4194305-0badc0de", "new\r\n");
    const CliRun run = run_cli(dir, {"-o", "END.txt", "s.txt"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err,
        "charlib-cli: 注意：上次运行在写入时被中断，已恢复“END.txt”原来的内容，并删除了它留下的 1 "
        "个临时文件\n");
    EXPECT_EQ(TempDir::read(dir.path() / "END.txt"), "ab\r\n");
    EXPECT_EQ(named_like(dir.path(), ".END"), std::vector<std::string>{});
}

TEST(Files, ARunWhoseFilesCannotBePutInPlacePrintsNothing)
{
    TempDir dir;
    dir.write("a.txt", "ab");
    fs::create_symlink("/dev/full", dir.path() / "full.ttf");  // takes no byte: ENOSPC at commit
    const CliRun run = run_cli(dir, {"--font", microhei, "--subset", "full.ttf", "a.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("无法写入文件“full.ttf”：磁盘空间不足"), std::string::npos) << run.err;
}

TEST(Files, AWebFolderIsMadeOnlyWhenTheRunSucceedsAndNeverInAFolderMarkedReadOnly)
{
    TempDir dir;
    dir.write("a.txt", "ab");
    fs::create_directory(dir.path() / "folder.ttf");
    fs::create_symlink("/dev/full", dir.path() / "full.ttf");  // takes no byte: ENOSPC at commit
    fs::create_directory(dir.path() / "locked");
    fs::permissions(dir.path() / "locked", fs::perms(0555));  // refused even for root
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"--web", "new", "--subset", "folder.ttf"}, 1, "无法写入文件“folder.ttf”：这是一个文件夹"},
        {{"--web", "new", "--subset", "full.ttf"}, 1, "无法写入文件“full.ttf”：磁盘空间不足"},
        {{"--web", "locked/new"}, 1, "无法写入文件“locked/new”：没有访问权限"},
        {{"--web", "new/", "-o", "./new/END.txt"}, 0, ""},
    };
    for (const auto& [args, status, message] : cases) {
        std::vector<std::string> all{"-e", "utf-8", "--font", microhei, "a.txt"};
        all.insert(all.end(), args.begin(), args.end());
        const CliRun run = run_cli(dir, all);
        EXPECT_EQ(run.status, status) << testing::PrintToString(args) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(fs::exists(dir.path() / "new"), status == 0) << testing::PrintToString(args);
        EXPECT_EQ(named_like(dir.path(), ".new"), std::vector<std::string>{});
        EXPECT_TRUE(fs::is_empty(dir.path() / "locked"));
    }
    for (const char* file : {"font.css", "index.html", "END.txt"})
        EXPECT_TRUE(fs::is_regular_file(dir.path() / "new" / file)) << file;
}

}  // namespace
