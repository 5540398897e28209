// What the core does with the files users really point it at.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <random>

#include "reference.h"
#include "temp_dir.h"
#include "text/core.h"
#include "text/line_reader.h"
#include "unprivileged.h"

namespace {

using charlib::FileError;

double peak_memory_mib()
{
    struct rusage usage { };
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Each test runs in a process of its own (ctest), so the peak is this test's.
TEST(Hostile, ALineHundredsOfTimesLongerThanTheBufferKeepsMemoryBounded)
{
    TempDir dir;
    const auto path = dir.path() / "one-line.txt";
    {
        // 128 MiB without a line end, then one short line.
        std::ofstream out(path, std::ios::binary);
        const std::string chunk = [] {
            std::string text;
            while (text.size() < (1 << 20))
                text += "\xD6\xD0\xCE\xC4 ab\xB0\xA1";  // 中文 ab啊
            return text;
        }();
        out << "#";
        for (int i = 0; i < 128; ++i)
            out << chunk;
        out << "\r\n\xCE\xB2\r\n";  // 尾
    }
    EXPECT_EQ(charlib::extract(path, u"", 0), u"#中文 ab啊尾");
    EXPECT_EQ(charlib::extract(path, u"啊#", 0), u"");
    EXPECT_EQ(charlib::extract(path, u"b啊中", 0), u"#中文 ab啊");
    EXPECT_EQ(charlib::extract(path, u"#", 1), u"尾");
    EXPECT_EQ(charlib::extract(path, u"\uFFFD", 0), u"");
    EXPECT_LT(peak_memory_mib(), 64.0);
}

TEST(Hostile, UnixLineEndsMakeOneLongLineThatStaysWhole)
{
    TempDir dir;
    std::string text;
    while (text.size() < 20'000'000)
        text += "line\n";
    const auto path = dir.write("unix.txt", text);
    const charlib::LoadResult loaded = charlib::load(path);
    ASSERT_EQ(loaded.lines.size(), 1u);
    EXPECT_EQ(loaded.lines[0].size(), text.size());
    EXPECT_FALSE(loaded.over_limit);
    EXPECT_EQ(charlib::filter(loaded.lines, u"line\nline", 0).size(), 1u);
    EXPECT_EQ(charlib::extract(path, u"", 0), u"line\n");
}

// Binary files and other encodings are read as code page 936 like any text:
// no crash, and the characters those bytes decode to.
TEST(Hostile, BinaryFilesAndOtherEncodingsGiveWhatTheirBytesDecodeTo)
{
    std::mt19937 random(5);
    std::string noise(300000, '\0');
    for (char& byte : noise)
        byte = static_cast<char>(random() % 256);
    std::erase(noise, '\x1A');
    const std::vector<std::pair<std::string, std::string>> files = {
        {"nul.bin", std::string(100000, '\0') + "\r\nA\0B\r\n"}, {"noise.bin", noise},
        {"utf8.txt", "中文 text\r\n第二行\r\n"}, {"utf8-bom.txt", "\xEF\xBB\xBF中文\r\n"},
        {"utf16-bom.txt", std::string("\xFF\xFE-N\x87\x65\r\0\n\0", 10)},  // 中文 CR LF in UTF-16LE
    };
    TempDir dir;
    for (const auto& [name, bytes] : files) {
        const auto path = dir.write(name, bytes);
        EXPECT_EQ(charlib::scan(path).status, charlib::ScanStatus::Clean) << name;
        for (const char16_t* marker : {u"", u"A", u"\uFFFD", u"\u6587"})
            EXPECT_EQ(charlib::extract(path, marker, 0), reference::extract(bytes, marker, 0)) << name;
        EXPECT_EQ(charlib::load(path).lines, reference::lines(bytes)) << name;
    }
    // FF FE: U+F8F5, then FE '-' is a double-byte character; 'N'; 87 65; CR; NUL.
    EXPECT_EQ(charlib::extract(dir.path() / "utf16-bom.txt", u"", 0).substr(0, 1), u"\uF8F5");
}

void expect_open_failure(const std::filesystem::path& path, int reason)
{
    for (const auto& action : std::vector<std::function<void()>>{
             [&] { charlib::scan(path); },
             [&] { charlib::load(path); },
             [&] { charlib::extract(path, u"", 0); },
         }) {
        try {
            action();
            ADD_FAILURE() << "read " << path;
        } catch (const FileError& error) {
            EXPECT_EQ(error.action(), FileError::Action::Open);
            EXPECT_EQ(error.system_error(), reason) << error.what();
            EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos);
        }
    }
}

TEST(Hostile, ASourceRemovedReplacedOrLockedIsReportedWithItsPath)
{
    TempDir dir;
    expect_open_failure(dir.path() / "removed.txt", ENOENT);

    std::filesystem::create_directory(dir.path() / "folder.txt");
    expect_open_failure(dir.path() / "folder.txt", EISDIR);

    const auto locked = dir.write("locked.txt", "abc\r\n");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    {
        Unprivileged nobody;
        expect_open_failure(locked, EACCES);
    }

    // A named pipe would block a plain open for ever.
    const auto pipe = dir.path() / "pipe.txt";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    expect_open_failure(pipe, ENODEV);
    expect_open_failure("/dev/zero", ENODEV);
}

TEST(Hostile, AFileThatGrowsOrShrinksWhileReadIsReadAsItIs)
{
    TempDir dir;
    const auto path = dir.write("changing.txt", "one\r\ntwo\r\nthree\r\n");
    charlib::LineReader reader;
    reader.open(path, 4);
    EXPECT_EQ(reader.read_line(), u"one");
    std::ofstream(path, std::ios::binary | std::ios::app) << "four\r\n";
    std::vector<std::u16string> rest;
    while (!reader.at_end())
        rest.push_back(reader.read_line());
    EXPECT_EQ(rest, (std::vector<std::u16string>{u"two", u"three", u"four"}));

    reader.open(path, 4);
    EXPECT_EQ(reader.read_line(), u"one");
    std::filesystem::resize_file(path, 2);  // "on"
    rest.clear();
    while (!reader.at_end())
        rest.push_back(reader.read_line());
    EXPECT_LE(rest.size(), 1u);  // what was already in the buffer, then the end
    reader.close();
}

}  // namespace
