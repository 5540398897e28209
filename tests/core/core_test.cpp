#include <gtest/gtest.h>

#include <sys/stat.h>

#include "temp_dir.h"
#include "text/core.h"

namespace {

using Lines = std::vector<std::u16string>;
using charlib::ScanStatus;

TEST(Scan, FindsTheFirstControlZCountingFromOne)
{
    TempDir dir;
    EXPECT_EQ(charlib::scan(dir.write("first.txt",
                                "\x1A"
                                "abc"))
                  .position,
        1u);
    const auto last = charlib::scan(dir.write("last.txt", "abc\x1A"));
    EXPECT_EQ(last.status, ScanStatus::ControlZ);
    EXPECT_EQ(last.position, 4u);
    EXPECT_EQ(charlib::scan(dir.write("two.txt", "ab\x1A\x1A")).position, 3u);
    // Past the first buffer's worth of bytes, the count goes on.
    std::string big(charlib::default_buffer_size + 10, 'x');
    big[charlib::default_buffer_size + 4] = '\x1A';
    EXPECT_EQ(charlib::scan(dir.write("big.txt", big)).position, charlib::default_buffer_size + 5);
}

TEST(Scan, TellsAnEmptyFileFromACleanOne)
{
    TempDir dir;
    EXPECT_EQ(charlib::scan(dir.write("empty.txt", "")).status, ScanStatus::Empty);
    EXPECT_EQ(charlib::scan(dir.write("clean.txt", "\xD6\xD0\r\n")).status, ScanStatus::Clean);
    EXPECT_THROW(charlib::scan(dir.path() / "missing.txt"), charlib::FileError);
    EXPECT_THROW(charlib::scan(dir.path()), charlib::FileError);
}

std::string numbered_lines(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += std::to_string(i) + "\r\n";
    return text;
}

TEST(Load, StopsAtTheLimitAndSaysWhetherMoreLinesExist)
{
    TempDir dir;
    const auto exact = charlib::load(dir.write("exact.txt", numbered_lines(10000)));
    EXPECT_EQ(exact.lines.size(), 10000u);
    EXPECT_FALSE(exact.over_limit);
    EXPECT_EQ(exact.lines.back(), u"10000");

    const auto over = charlib::load(dir.write("over.txt", numbered_lines(10001)));
    EXPECT_EQ(over.lines.size(), 10000u);
    EXPECT_TRUE(over.over_limit);

    const auto small = charlib::load(dir.write("small.txt", "a\r\n\r\nb"), 2);
    EXPECT_EQ(small.lines, (Lines{u"a", u""}));
    EXPECT_TRUE(small.over_limit);

    const auto empty = charlib::load(dir.write("empty.txt", ""));
    EXPECT_TRUE(empty.lines.empty());
    EXPECT_FALSE(empty.over_limit);
    EXPECT_THROW(charlib::load(dir.path() / "missing.txt"), charlib::FileError);
}

TEST(Filter, TakesLinesThatBeginWithTheMarkerOrTheLineOffsetAfterThem)
{
    EXPECT_EQ(charlib::filter({u"A1", u"B", u"A2"}, u"A", 0), (Lines{u"A1", u"A2"}));
    EXPECT_EQ(charlib::filter({u"A1", u"x", u"A2", u"y"}, u"A", 1), (Lines{u"x", u"y"}));
    // The line jumped to is taken untested; the scan goes on after it.
    EXPECT_EQ(charlib::filter({u"A1", u"A2", u"A3", u"z"}, u"A", 1), (Lines{u"A2", u"z"}));
    EXPECT_EQ(charlib::filter({u"A1"}, u"a", 0), Lines{});
    EXPECT_EQ(charlib::filter({u"xA"}, u"A", 0), Lines{});
    EXPECT_EQ(charlib::filter({u"中文", u"文中"}, u"中", 0), Lines{u"中文"});
}

TEST(Filter, AJumpPastTheLastLineEndsTheScanWithNothingTaken)
{
    EXPECT_EQ(charlib::filter({u"A1", u"x", u"A2"}, u"A", 1), Lines{u"x"});
    EXPECT_EQ(charlib::filter({u"A1", u"A2"}, u"A", 9), Lines{});
    EXPECT_EQ(charlib::filter({u"A", u"b", u"c", u"A", u"d"}, u"A", 2.5), Lines{u"c"});  // 2.5 -> 2
    EXPECT_EQ(charlib::filter({u"A", u"b"}, u"A", -1), Lines{});
    EXPECT_EQ(charlib::filter({}, u"A", 0), Lines{});
}

TEST(Sort, PutsCharactersInAscendingCodeOrder)
{
    EXPECT_EQ(charlib::sort_charset(u"cab"), u"abc");
    EXPECT_EQ(charlib::sort_charset(u"中a文"), u"a中文");
    EXPECT_EQ(charlib::sort_charset(u"baB"), u"Bab");
    EXPECT_EQ(charlib::sort_charset(u"x\r\n\tx"), u"\t\n\rxx");
    EXPECT_EQ(charlib::sort_charset(u""), u"");
}

TEST(Numbers, NumericValueReadsTheLeadingNumberAndTheOffsetRuleTheWholeText)
{
    struct Case {
        std::u16string_view text;
        double value;
        bool number_or_blank;
    };
    const Case cases[] = {
        {u"3", 3, true}, {u"", 0, true}, {u" ", 0, true}, {u"x", 0, false}, {u"-", 0, false},
        {u"+", 0, false}, {u".", 0, false}, {u" 2.5x", 2.5, false}, {u"1 2", 12, true}, {u"-1", -1, true},
        {u"+.5", 0.5, true}, {u"1e2", 100, true}, {u"1e", 1, false},
        {u"１", 0, false},  // a full-width digit is no digit
    };
    for (const Case& c : cases) {
        EXPECT_EQ(charlib::numeric_value(c.text), c.value) << "case " << &c - cases;
        EXPECT_EQ(charlib::is_number_or_blank(c.text), c.number_or_blank) << "case " << &c - cases;
    }
}

TEST(Numbers, WholeRoundsHalvesToEven)
{
    EXPECT_EQ(charlib::whole(2.5), 2);
    EXPECT_EQ(charlib::whole(3.5), 4);
    EXPECT_EQ(charlib::whole(-0.5), 0);
    EXPECT_EQ(charlib::whole(0.6), 1);
    EXPECT_EQ(charlib::whole(1e300), 9200000000000000000);
    EXPECT_EQ(charlib::whole(std::nan("")), 0);
    EXPECT_EQ(charlib::number_text(10000), u"10000");
    EXPECT_EQ(charlib::number_text(0), u"0");
}

TEST(Extract, CollectsDistinctCharactersOfTheSelectedLines)
{
    TempDir dir;
    const auto file = [&](std::string_view bytes) { return dir.write("t.txt", bytes); };
    EXPECT_EQ(charlib::extract(file("#abca\r\nxyz\r\n#bd\r\n"), u"#", 0), u"#abcd");
    EXPECT_EQ(charlib::extract(file("#1\r\nabc\r\n#2\r\ncad\r\n"), u"#", 1), u"abcd");
    EXPECT_EQ(charlib::extract(file("abx"), u"x", 0), u"abx");
    EXPECT_EQ(charlib::extract(file("Aa\xA3\xC1"
                                    "A\r\n"),
                  u"", 0),
        u"Aa\uFF21");
    EXPECT_EQ(charlib::extract(file("a b\tc\r\nd\ne\r\n"), u"", 0), u"a b\tcd\ne");
    EXPECT_EQ(charlib::extract(file("abc\r\n"), u"z", 0), u"");
    EXPECT_EQ(charlib::extract(file(""), u"", 0), u"");
}

TEST(Extract, AJumpPastTheEndKeepsWhatWasCollected)
{
    TempDir dir;
    const auto path = dir.write("t.txt", "#1\r\nab\r\n#2\r\n");
    EXPECT_EQ(charlib::extract(path, u"#", 1), u"ab");
    EXPECT_EQ(charlib::extract(path, u"#", 2), u"#2");
    EXPECT_EQ(charlib::extract(path, u"#", 1000000000000), u"");
}

TEST(Extract, AnAsciiMarkerInsideADoubleByteCharacterDoesNotMatch)
{
    TempDir dir;
    // 0xD6 0x40 is one character whose trail byte is '@'.
    const auto path = dir.write("t.txt", "\xD6\x40x\r\n\xB0\xA1@\r\n");
    EXPECT_EQ(charlib::extract(path, u"@", 0), u"啊@");
    EXPECT_EQ(charlib::extract(path, u"啊", 0), u"啊@");
}

TEST(WriteCharset, WritesCodePage936AndCrLf)
{
    TempDir dir;
    const auto path = dir.path() / "END.txt";
    charlib::write_charset(path, u"a中");
    EXPECT_EQ(TempDir::read(path), "a\xD6\xD0\r\n");
    charlib::write_charset(path, u"");
    EXPECT_EQ(TempDir::read(path), "\r\n");
    charlib::write_charset(path, u"x\r\ny\u00C0");
    EXPECT_EQ(TempDir::read(path), "x\r\ny?\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(WriteCharset, AFailedWriteLeavesTheExistingFileAsItWas)
{
    TempDir dir;
    const auto expect_failure = [](const std::filesystem::path& path) {
        try {
            charlib::write_charset(path, u"abc");
            ADD_FAILURE() << "wrote " << path;
        } catch (const charlib::FileError& error) {
            EXPECT_EQ(error.action(), charlib::FileError::Action::Write);
            EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos);
        }
    };
    // A read-only file is refused, even for root, and kept.
    const auto locked = dir.write("END.txt", "old\r\n");
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
    expect_failure(locked);
    EXPECT_EQ(TempDir::read(locked), "old\r\n");

    std::filesystem::create_directory(dir.path() / "folder");
    expect_failure(dir.path() / "folder");
    expect_failure(dir.path() / "missing" / "END.txt");

    const auto read_only = dir.path() / "read-only";
    std::filesystem::create_directory(read_only);
    const auto kept = dir.write("read-only/END.txt", "kept\r\n");
    std::filesystem::permissions(kept, std::filesystem::perms::owner_all);
    std::filesystem::permissions(
        read_only, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    expect_failure(kept);
    EXPECT_EQ(TempDir::read(kept), "kept\r\n");
    std::filesystem::permissions(read_only, std::filesystem::perms::owner_all);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(read_only), {}), 1)
        << "temporary file left behind";
}

}  // namespace
