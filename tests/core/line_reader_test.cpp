// The line reader: CR LF or a lone CR ends a line, a lone LF stays in it, and
// Control-Z ends the text, whatever the buffer size.
#include <gtest/gtest.h>

#include "base/outcome.h"
#include "extract/line_reader.h"
#include "temp_dir.h"

namespace {

using Lines = std::vector<std::u16string>;

Lines read_all(const std::filesystem::path& path, std::size_t buffer_size)
{
    charlib::LineReader reader;
    reader.open(path, buffer_size);
    Lines lines;
    while (!reader.at_end())
        lines.push_back(reader.read_line());
    return lines;
}

// Each case is read with buffers from 2 bytes up, so every line end, CR LF
// pair and double-byte character also falls across a buffer boundary.
TEST(LineReader, SplitsLinesAtCrLfAndLoneCrWithAnyBufferSize)
{
    const std::pair<std::string, Lines> cases[] = {
        {"", {}},
        {"A\r\nB\r\n", {u"A", u"B"}},
        {"A\nB\nC", {u"A\nB\nC"}},
        {"A\r\n\r\nB", {u"A", u"", u"B"}},
        {"A\r\r\nB\n\r", {u"A", u"", u"B\n"}},
        {"ABC\r\n\032DEF\r\n", {u"ABC"}},  // \032 is Control-Z
        {"AB\x1A\r\nC", {u"AB"}},
        {"\n", {u"\n"}},
        {"\xD6\xD0\xCE\xC4\r\n\xB0\xA1", {u"中文", u"啊"}},
        {"\xD6\r\n\xD0", {u"\uFFFD", u"\uFFFD"}},
        {"\xD6\xD6\xD6\xD0\r", {u"\u79CD\u4E2D"}},
    };
    TempDir dir;
    for (const auto& [bytes, lines] : cases) {
        const auto path = dir.write("t.txt", bytes);
        for (std::size_t buffer = 2; buffer <= bytes.size() + 2; ++buffer)
            EXPECT_EQ(read_all(path, buffer), lines)
                << "bytes " << testing::PrintToString(bytes.substr(0, 40)) << ", buffer " << buffer;
    }
}

// Not yet open, closed, or read to the end: at the end, and a further read is refused.
TEST(LineReader, IsAtTheEndBeforeOpeningAndReportsAReadPastTheEnd)
{
    TempDir dir;
    charlib::LineReader reader;
    EXPECT_TRUE(reader.at_end());
    const auto two = dir.write("two.txt", "A\r\nB");
    reader.open(two);
    EXPECT_EQ(reader.read_line(), u"A");
    EXPECT_EQ(reader.read_line(), u"B");
    try {
        reader.read_line();
        ADD_FAILURE() << "read past the end";
    } catch (const charlib::Failure& failure) {
        EXPECT_EQ(failure.outcome().code, charlib::Code::ReadPastEnd);
        EXPECT_EQ(failure.outcome().path(), two);
    }
}

}  // namespace
