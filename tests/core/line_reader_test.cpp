#include <gtest/gtest.h>

#include "reference.h"
#include "temp_dir.h"
#include "text/error.h"
#include "text/line_reader.h"

namespace {

using Lines = std::vector<std::u16string>;

Lines read_all(const std::filesystem::path& path, std::size_t buffer_size)
{
    charlib::LineReader reader;
    reader.open(path, buffer_size);
    Lines lines;
    while (!reader.at_end())
        lines.push_back(reader.read_line());
    reader.close();
    return lines;
}

struct Case {
    std::string bytes;
    Lines lines;
};

// Each case is read with buffers from 2 bytes up, so every line end, CR LF
// pair and double-byte character also falls across a buffer boundary.
TEST(LineReader, SplitsLinesAtCrLfAndLoneCrWithAnyBufferSize)
{
    const std::vector<Case> cases = {
        {"", {}},
        {"\r\n", {u""}},
        {"A\r\nB\r\n", {u"A", u"B"}},
        {"A\rB", {u"A", u"B"}},
        {"A\nB\nC", {u"A\nB\nC"}},
        {"A\r\n\r\nB", {u"A", u"", u"B"}},
        {"A\r\r\nB\n\r", {u"A", u"", u"B\n"}},
        {"ABC\r\n\x1A"
         "DEF\r\n",
            {u"ABC"}},
        {"\x1A"
         "ABC",
            {}},
        {"AB\x1A\r\nC", {u"AB"}},
        {"\r\r\r", {u"", u"", u""}},
        {"\n", {u"\n"}},
        {"\xD6\xD0\xCE\xC4\r\n\xB0\xA1", {u"中文", u"啊"}},
        {"\xD6\r\n\xD0", {u"\uFFFD", u"\uFFFD"}},
        {"x\xD6", {u"x\uFFFD"}},
        {"\xD6\xD6\xD6\xD0\r", {u"\u79CD\u4E2D"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const auto path = dir.write("t.txt", c.bytes);
        for (std::size_t buffer = 2; buffer <= c.bytes.size() + 2; ++buffer)
            EXPECT_EQ(read_all(path, buffer), c.lines)
                << "bytes " << testing::PrintToString(c.bytes) << ", buffer " << buffer;
    }
}

TEST(LineReader, ReadsLinesMuchLongerThanItsBufferWhole)
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += i % 7 == 0 ? "a" : "\xD6\xD0";
    const std::string bytes = text + "\r\n" + text + "\xB0";
    const auto path = dir.write("long.txt", bytes);
    for (std::size_t buffer : {2, 3, 64, 1000, 1 << 20})
        EXPECT_EQ(read_all(path, buffer), reference::lines(bytes)) << buffer;
}

TEST(LineReader, FailsToOpenAMissingFileOrAFolderNamingThePath)
{
    TempDir dir;
    charlib::LineReader reader;
    try {
        reader.open(dir.path() / "missing.txt");
        FAIL() << "opened a missing file";
    } catch (const charlib::FileError& error) {
        EXPECT_EQ(error.action(), charlib::FileError::Action::Open);
        EXPECT_NE(std::string(error.what()).find("missing.txt"), std::string::npos);
        EXPECT_EQ(error.reason(), "文件或文件夹不存在");
    }
    EXPECT_THROW(reader.open(dir.path()), charlib::FileError);
    EXPECT_TRUE(reader.at_end());
}

TEST(LineReader, ReadingPastTheEndFails)
{
    TempDir dir;
    charlib::LineReader reader;
    reader.open(dir.write("one.txt", "A\r\n"));
    EXPECT_EQ(reader.read_line(), u"A");
    EXPECT_TRUE(reader.at_end());
    try {
        reader.read_line();
        FAIL() << "read past the end";
    } catch (const charlib::FileError& error) {
        EXPECT_EQ(error.action(), charlib::FileError::Action::ReadPastEnd);
    }
}

}  // namespace
