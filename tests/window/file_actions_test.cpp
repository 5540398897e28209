// Browse, Read and Filter: choosing the source and previewing its lines, even huge ones.
#include <QDir>

#include "driver.h"
#include "unprivileged.h"

namespace charlib::testing {
namespace {

using FileActions = WindowTest;

Message controlZ(int offset)
{
    return error(u"在文件偏移%1处发现Ctrl+"
                 u"Z字符，说明此文件并非纯TXT文件，如果仍需要提取，请将些字符修改成非Ctrl+Z字符。"
                 u"具体细节，可双击瑶铃子的头象查看。"_s.arg(offset));
}

TEST_F(FileActions, BrowseAcceptsACleanFileAndRefusesOrIgnoresTheRest)
{
    open({"good", "lines"}, u"o"_s, u"1"_s);
    click("Command5", {.buttons = "R--SW", .set = u"lines"_s});
    const Seen unchanged = {.buttons = "R--SW", .list = QStringList{"good", "lines"}, .set = u"lines"_s};
    for (const auto& [bytes, offset] : {std::pair{"ab" + zhong + "\x1A" + "cd", 5},
             {std::string("\x1A") + "abc", 1}, {"abc\r\n\x1A", 6}, {"", 0}}) {
        Seen refused = unchanged;
        if (offset) refused.messages = {controlZ(offset)};
        browse(write(u"refused.txt"_s, bytes), refused);
    }
    browse(file(u"missing.txt"_s), unchanged);
    browse(std::nullopt, unchanged);
    EXPECT_EQ(text("Text1"), file(u"source.txt"_s));
    click("Command1", {.list = QStringList{"good", "lines"}});  // still the accepted file

    // A new file empties the preview and the set; Sort and Write wait for a
    // Generate, so one click cannot replace that folder's END.txt with an empty set.
    click("Command5");
    browse(write(u"中文 名.txt"_s, "x\r\n"), blank("RF---"));
    EXPECT_EQ(text("Text1") + text("Command1") + text("Text2") + text("Text3"),
        file(u"中文 名.txt"_s) + u"读取o0"_s);
}

TEST_F(FileActions, AFileOnTheCommandLineOpensAsIfChosenInBrowse)
{
    form_.openSource(write(u"命令 行.txt"_s, "ab\x1A"));
    check({.buttons = "-----", .messages = {controlZ(3)}});
    form_.openSource(write(u"命令 行.txt"_s, "ab\r\n"));
    check(blank("RF---"));
    EXPECT_EQ(text("Text1"), file(u"命令 行.txt"_s));
}

TEST_F(FileActions, ReadShowsAtMostTenThousandLinesAndResetsTheSet)
{
    // A lone LF stays in its line, shown as a mark so that the line keeps one
    // row; a line over 2000 characters shows shortened.
    const std::string long_line(2001, 'y');
    browse(write(u"lines.txt"_s, "A\r\n\r\nB\rC" + zhong + "\nD\r" + long_line.substr(1) + "\r" + long_line));
    type("Text2", u"A"_s);
    click("Command1");
    click("Command5");
    click("Command1",
        {.buttons = "RFG--",
            .list = QStringList{"A", "", "B", u"C中␊D"_s, QString(2000, u'y'), QString(2000, u'y') + u"…"_s},
            .set = u""_s,
            .label1 = u"打开文件浏览：        共6行"_s,
            .label7 = u"生成文件预览："_s});
    EXPECT_EQ(text("Command1") + text("Text2") + text("Text3"), u"重新读取A0"_s);

    for (int count : {0, 10000, 10001}) {
        std::string bytes;
        for (int i = 1; i <= count; ++i)
            bytes += "line " + std::to_string(i) + "\r\n";
        write(u"lines.txt"_s, bytes);  // a file that has changed since Browse is read as it now is
        click("Command1",
            {.label1 = count > 10000 ? u"打开文件浏览：                大于10000行"_s
                                     : u"打开文件浏览：        共%1行"_s.arg(count)});
        EXPECT_EQ(rows().size(), count);
        EXPECT_EQ(rows().value(9999), count ? u"line 10000"_s : QString());
    }
    EXPECT_EQ(rows().last(), u"文本超过10000行，速度考虑，只显示10000行"_s);
}

TEST_F(FileActions, ASourceGoneOrLockedIsReportedByReadAndGenerateAndChangesNothing)
{
    open({"#kept"}, u"#"_s);
    const QString source = file(u"source.txt"_s);
    const Seen unchanged = {.buttons = "RFG--",
        .list = QStringList{"#kept"},
        .set = u""_s,
        .label1 = u"打开文件浏览：        共1行"_s,
        .label7 = u"生成文件预览："_s};
    Seen reported = unchanged;
    QFile::remove(source);
    reported.messages = {error(u"无法打开文件“%1”：文件或文件夹不存在"_s.arg(source))};
    click("Command1", reported);
    write(u"source.txt"_s, "#other\r\n");
    QFile::setPermissions(source, {});
    Unprivileged nobody;
    reported.messages = {error(u"无法打开文件“%1”：没有访问权限（或文件是只读的）"_s.arg(source))};
    click("Command5", reported);
}

TEST_F(FileActions, FilterKeepsTheLinesBeginningWithTheMarkerOrTheLinesTheOffsetOn)
{
    open({"A1", "A2", "A3", "z", "xA"}, u"A"_s, u"1"_s);  // lines jumped over are not tested
    click("Command3", {.buttons = "R-G--", .list = QStringList{"A2", "z"}});
    click("Command1", {.buttons = "RFG--"});
    type("Text3", u" "_s);  // blank means 0
    click("Command3", {.list = QStringList{"A1", "A2", "A3"}});

    open({"B", "A\nb"}, u"A"_s);  // the row shows a mark, the item keeps the line
    click("Command3", {.list = QStringList{u"A␊b"_s}});
    EXPECT_EQ(get<QListWidget>("List1")->item(0)->data(Qt::UserRole).toString(), u"A\nb"_s);

    std::vector<std::string> lines(10001, "b");
    lines[9999] = "A";  // the last line shown; the notice follows it
    for (auto [marker, offset] : {std::pair{u"文"_s, u"0"_s}, {u"A"_s, u"1"_s}}) {
        open(lines, marker, offset);
        click("Command3", {.list = QStringList()});  // never the notice
    }
}

TEST_F(FileActions, FilterAndGenerateAnswerBadEntriesAndChangeNothing)
{
    open({"A1", "B"});
    Seen seen = {.buttons = "RFG--",
        .list = QStringList{"A1", "B"},
        .label7 = u"生成文件预览："_s,
        .messages = {error(u"筛选条件绝对不能不填"_s)}};
    click("Command3", seen);
    type("Text2", u"A"_s);
    seen.messages = {error(u"第几行只能是数字"_s)};  // the same rule for both buttons
    for (const QString& notNumber : {u"x"_s, u"-"_s, u"+"_s, u"."_s}) {
        type("Text3", notNumber);
        click("Command3", seen);
        click("Command5", seen);
    }
    get<QLineEdit>("Text3")->setMaxLength(2);  // typing cannot put a negative number into one character
    type("Text3", u"-1"_s);
    seen.messages = {error(u"第几行不能小于零"_s)};
    click("Command3", seen);
}

TEST_F(FileActions, AHugeLineShowsShortenedButFilterAndGenerateSeeAllOfIt)
{
    // 20 MB of Chinese with Unix line ends: one line, as the reader defines it.
    std::string bytes;
    while (bytes.size() < 20'000'000)
        bytes += zhong + wen + "\n";
    browse(write(u"unix.txt"_s, bytes + zi));
    click("Command1", {.list = QStringList{u"中文␊"_s.repeated(666) + u"中文…"_s}});
    type("Text2", u"中文"_s);
    click("Command3");
    const QString whole = get<QListWidget>("List1")->item(0)->data(Qt::UserRole).toString();
    EXPECT_EQ(whole, QString::fromStdU16String(u"中文\n").repeated(qsizetype(bytes.size() / 5)) + u"字"_s);
    click("Command5", {.set = u"中文\n字"_s, .label7 = u"生成文件预览：                共计4个字符"_s});
}

}  // namespace
}  // namespace charlib::testing
