// The window-independent actions: filter, sort, write, numbers, a file that
// changes while it is read, and the kernel chosen by name (the rest: the
// window's and differential tests).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "actions/actions.h"
#include "extract/line_reader.h"
#include "files/output_file.h"
#include "simd/kernel.h"
#include "temp_dir.h"

namespace {

using Lines = std::vector<std::u16string>;

TEST(Filter, TakesTheLinesBeginningWithTheMarkerOrTheLineTheOffsetOn)
{
    const std::tuple<Lines, std::u16string, double, Lines> cases[] = {
        {{u"A1", u"B", u"A2", u"", u"xA", u"a"}, u"A", 0, {u"A1", u"A2"}},
        {{u"A1", u"x", u"A2", u"y"}, u"A", 1, {u"x", u"y"}},
        {{u"A1", u"A2", u"A3", u"z"}, u"A", 1, {u"A2", u"z"}},  // the line jumped to is taken untested
        {{u"中文", u"文中"}, u"中", 0, {u"中文"}},
        {{u"A1", u"x", u"A2"}, u"A", 1, {u"x"}},  // a jump past the last line ends the scan
        {{u"A", u"b", u"c", u"A", u"d"}, u"A", 2.5, {u"c"}},  // halves round to even: 2.5 to 2,
        {{u"A", u"b", u"c", u"d", u"e"}, u"A", 3.5, {u"e"}},  // 3.5 to 4
        {{u"A", u"b"}, u"A", -1, {}},
        {{}, u"A", 0, {}},
    };
    for (const auto& [lines, marker, offset, selected] : cases) {
        EXPECT_EQ(charlib::filter(lines, marker, offset), selected) << "offset " << offset;
    }
}

TEST(Numbers, ReadTheLeadingNumberTellAWholeNumberAndRoundHalvesToEven)
{
    const std::tuple<std::u16string_view, double, bool> cases[] = {{u"3", 3, true}, {u"9", 9, true},
        {u"", 0, true}, {u" ", 0, true}, {u"x", 0, false}, {u"-", 0, false}, {u"+", 0, false},
        {u".", 0, false}, {u" 2.5x", 2.5, false}, {u"1\t2\n3 4", 1234, true}, {u"-1", -1, true},
        {u"+.5", 0.5, true}, {u".5", 0.5, true}, {u"1.5.", 1.5, false}, {u"1E2", 100, true},
        {u"1d2", 100, true}, {u"1e", 1, false}, {u"1e999", HUGE_VAL, true}, {u"-1e999", -HUGE_VAL, true},
        {u"1e-999", 0, true}, {u"１", 0, false}};  // a full-width digit is no digit
    for (const auto& [text, value, number_or_blank] : cases) {
        EXPECT_EQ(charlib::numeric_value(text), value) << value;
        EXPECT_EQ(charlib::is_number_or_blank(text), number_or_blank) << value;
    }
    for (auto [value, rounded] : {std::pair{2.5, 2LL}, {3.5, 4LL}, {-0.5, 0LL}, {0.6, 1LL}, {-2.5, -2LL},
             {1e300, 9200000000000000000LL}, {-1e300, -9200000000000000000LL}, {std::nan(""), 0LL}})
        EXPECT_EQ(charlib::whole(value), rounded) << value;
    EXPECT_EQ(charlib::number_text(10000) + charlib::number_text(0) + charlib::number_text(-7), u"100000-7");
}

TEST(SortAndWrite, SortByCodeAndWriteCodePage936AndCrLfOverTheWholeFile)
{
    EXPECT_EQ(charlib::sort_charset(u"cab中a文\r\n\tB"), u"\t\n\rBaabc中文");
    TempDir dir;
    const auto path = dir.write("END.txt", "an older, longer set");
    std::filesystem::permissions(path, std::filesystem::perms(0640));  // kept when replaced
    for (const auto& [set, bytes] :
        {std::pair{u"a中", "a\xD6\xD0\r\n"}, {u"", "\r\n"}, {u"x\r\ny\u00C0", "x\r\ny?\r\n"}}) {
        charlib::write_charset(path, set);
        EXPECT_EQ(TempDir::read(path), bytes);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
}

TEST(SortAndWrite, AFailedWriteNamesThePathAndLeavesTheExistingFileAsItWas)
{
    using std::filesystem::perms;
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "folder");
    std::filesystem::create_directories(dir.path() / "read-only");
    const auto locked = dir.write("END.txt", "old\r\n"), kept = dir.write("read-only/END.txt", "kept\r\n");
    std::filesystem::permissions(locked, perms::owner_read);  // refused even for root
    std::filesystem::permissions(dir.path() / "read-only", perms::owner_read | perms::owner_exec);
    for (const auto& path : {locked, dir.path() / "folder", dir.path() / "missing" / "END.txt", kept}) {
        try {
            charlib::write_charset(path, u"abc");
            ADD_FAILURE() << "wrote " << path;
        } catch (const charlib::Failure& failure) {
            EXPECT_EQ(failure.outcome().code, charlib::Code::CannotWrite);
            EXPECT_EQ(failure.outcome().path(), path);
        }
    }
    EXPECT_EQ(TempDir::read(locked) + TempDir::read(kept), "old\r\nkept\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "read-only"), {}), 1)
        << "temporary file left behind";
}

TEST(SortAndWrite, ABatchPutsEveryFileInPlaceOrNone)
{
    TempDir dir;
    const auto a = dir.write("a.txt", "old a"), b = dir.path() / "b.txt", c = dir.path() / "c.txt";
    std::filesystem::create_symlink("/dev/full", dir.path() / "full");  // takes nothing: ENOSPC
    const auto names = [&] {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    };
    const auto failed_commit = [](charlib::FileBatch& batch) {
        try {
            batch.commit();
        } catch (const charlib::Failure& failure) {
            return failure.outcome().path().filename().string();
        }
        return std::string("none");
    };
    {  // a device that fails after the renames: they are undone
        charlib::FileBatch batch;
        batch.add(a, "new a");
        batch.add(b, "new b");
        batch.add(dir.path() / "full", "x");
        EXPECT_EQ(failed_commit(batch), "full");
    }
    EXPECT_EQ(TempDir::read(a), "old a");
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "full"}));
    {  // a target that became a folder: nothing is replaced
        charlib::FileBatch batch;
        batch.add(a, "new a");
        batch.add(c, "c");
        std::filesystem::create_directory(c);
        EXPECT_EQ(failed_commit(batch), "c.txt");
    }
    EXPECT_EQ(TempDir::read(a), "old a");
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "c.txt", "full"}));
    charlib::FileBatch batch;
    batch.add(a, "new a");
    batch.add(b, "new b");
    batch.commit();
    EXPECT_EQ(TempDir::read(a) + TempDir::read(b), "new anew b");
    EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "full"}));
}

TEST(Hostile, AFileThatGrowsOrShrinksWhileReadIsReadAsItIs)
{
    TempDir dir;
    const auto path = dir.write("changing.txt", "one\r\ntwo\r\nthree\r\n");
    charlib::LineReader reader;
    const auto rest = [&] {
        std::vector<std::u16string> lines;
        while (!reader.at_end())
            lines.push_back(reader.read_line());
        return lines;
    };
    reader.open(path, 4);
    EXPECT_EQ(reader.read_line(), u"one");
    std::ofstream(path, std::ios::binary | std::ios::app) << "four\r\n";
    EXPECT_EQ(rest(), (std::vector<std::u16string>{u"two", u"three", u"four"}));

    reader.open(path, 4);
    EXPECT_EQ(reader.read_line(), u"one");
    std::filesystem::resize_file(path, 2);  // "on"
    EXPECT_LE(rest().size(), 1u);  // what was already in the buffer, then the end
}

// CHARLIB_ISA names a kernel; one the processor lacks, or no kernel at all, is refused.
TEST(Kernels, AreChosenByNameAndRefusedWhenTheProcessorLacksThem)
{
    using namespace charlib;
    const auto built = built_kernels();
    for (const Kernel* kernel : built)
        EXPECT_EQ(std::get<const Kernel*>(choose_kernel(kernel->name, built)), kernel);
    EXPECT_EQ(std::get<const Kernel*>(choose_kernel("")), &best_kernel());
    EXPECT_EQ(std::get<const Kernel*>(choose_kernel("SCALAR"))->isa, Isa::Scalar);
    const std::pair<std::string_view, Outcome> refused[] = {
        {"avx2",
            Outcome(Code::IsaNotHere, {{"name", std::string("avx2")}, {"choices", std::string("scalar")}})},
        {"neon",
            Outcome(Code::UnknownIsa, {{"name", std::string("neon")}, {"choices", std::string("scalar")}})}};
    for (const auto& [name, error] : refused)
        EXPECT_EQ(std::get<Outcome>(choose_kernel(name, built.first(1))), error) << name;
}

}  // namespace
