#include <QClipboard>
#include <QDir>

#include "window_support.h"

namespace charlib::testing {
namespace {

Message controlZ(int offset)
{
    return error(QStringLiteral(
        "在文件偏移%1处发现Ctrl+Z字符，说明此文件并非纯TXT文件，如果仍需要提取，请将些字符修改成非Ctrl+"
        "Z字符。具体细节，可双击瑶铃子的头象查看。")
                     .arg(offset));
}

using Browse = WindowTest;

TEST_F(Browse, AcceptingEmptiesThePreviewAndTheSetAndKeepsTheEntries)
{
    readLines({"#ab", "cd"}, QStringLiteral("#"), QStringLiteral("1"));
    click("Command5");
    browse(writeFile(QStringLiteral("中文 名.txt"), "x\r\n"));

    EXPECT_EQ(text("Text1"), file(QStringLiteral("中文 名.txt")));
    EXPECT_EQ(text("Command1"), QStringLiteral("读取"));
    // Write waits for a Generate: it must not replace that folder's END.txt with an empty set.
    EXPECT_EQ(buttons(), "Read:on Filter:on Generate:off Sort:off Write:off");
    EXPECT_EQ(items(), QStringList());
    EXPECT_EQ(text4(), QString());
    EXPECT_EQ(text("Label1"), QStringLiteral("打开文件浏览："));
    EXPECT_EQ(text("Label7"), QStringLiteral("生成文件预览："));
    EXPECT_EQ(text("Text2"), QStringLiteral("#"));
    EXPECT_EQ(text("Text3"), QStringLiteral("1"));
}

TEST_F(Browse, RefusedOrCancelledChoicesLeaveEverythingAsItWas)
{
    readLines({"good", "lines"}, QStringLiteral("o"));
    click("Command5");
    const QString label7 = text("Label7");

    browse(writeFile(QStringLiteral("z.txt"), "ab" + zhong + "\x1A" + "cd"));
    browse(writeFile(QStringLiteral("first.txt"),
        "\x1A"
        "abc"));
    browse(writeFile(QStringLiteral("last.txt"), "abc\r\n\x1A"));
    browse(writeFile(QStringLiteral("empty.txt"), ""));
    browse(file(QStringLiteral("missing.txt")));
    browse(std::nullopt);

    EXPECT_EQ(takeMessages(), (Messages{controlZ(5), controlZ(1), controlZ(6)}));
    EXPECT_EQ(text("Text1"), file(QStringLiteral("source.txt")));
    EXPECT_EQ(buttons(), "Read:on Filter:off Generate:off Sort:on Write:on");
    EXPECT_EQ(items(), (QStringList{"good", "lines"}));
    EXPECT_EQ(text4(), QStringLiteral("god"));
    EXPECT_EQ(text("Label7"), label7);

    // Read still opens the accepted file, not the last one picked.
    click("Command1");
    EXPECT_EQ(items(), (QStringList{"good", "lines"}));
}

using Read = WindowTest;

TEST_F(Read, ShowsEveryLineAndTheCountAndResetsTheCharacterSet)
{
    browse(writeFile(QStringLiteral("lines.txt"), "A\r\n\r\nB\rC" + zhong + "\nD\nE"));
    EXPECT_EQ(buttons(), "Read:on Filter:on Generate:off Sort:off Write:off");
    click("Command1");
    retype("Text2", QStringLiteral("A"));
    click("Command5");
    click("Command1");

    // A lone LF stays in its line and shows as a mark, keeping the line on one row.
    EXPECT_EQ(items(), (QStringList{"A", "", "B", QStringLiteral("C中␊D␊E")}));
    EXPECT_EQ(text("Label1"), QStringLiteral("打开文件浏览：        共4行"));
    EXPECT_EQ(text("Command1"), QStringLiteral("重新读取"));
    EXPECT_EQ(buttons(), "Read:on Filter:on Generate:on Sort:off Write:off");
    EXPECT_EQ(text4(), QString());
    EXPECT_EQ(text("Label7"), QStringLiteral("生成文件预览："));
    EXPECT_EQ(text("Text2"), QStringLiteral("A"));
    EXPECT_EQ(text("Text3"), QStringLiteral("0"));
}

TEST_F(Read, PreviewStopsAtTenThousandLinesWithANotice)
{
    struct Case {
        int lines;
        int items;
        const char* label;
    };
    for (Case c :
        {Case{0, 0, "打开文件浏览：        共0行"}, Case{10000, 10000, "打开文件浏览：        共10000行"},
            Case{10001, 10001, "打开文件浏览：                大于10000行"}}) {
        std::vector<std::string> lines;
        for (int i = 1; i <= c.lines; ++i)
            lines.push_back("line " + std::to_string(i));
        // A file that has lost its lines since Browse accepted it reads as none.
        browse(writeFile(QStringLiteral("n.txt"), "?"));
        writeFile(QStringLiteral("n.txt"), crlfLines(lines));
        click("Command1");

        QStringList shown = items();
        ASSERT_EQ(shown.size(), c.items) << c.lines;
        EXPECT_EQ(text("Label1"), QString::fromUtf8(c.label));
        if (c.lines > 0) {
            EXPECT_EQ(shown[9999], QStringLiteral("line 10000"));
        }
    }
    EXPECT_EQ(items().last(), QStringLiteral("文本超过10000行，速度考虑，只显示10000行"));
}

TEST_F(Read, FileGoneSinceBrowseIsReportedByReadAndGenerateAndChangesNothing)
{
    readLines({"#kept"}, QStringLiteral("#"));
    type("Text4", QStringLiteral("mine"));
    ASSERT_TRUE(QFile::remove(file(QStringLiteral("source.txt"))));
    const QString label1 = text("Label1");

    click("Command5");
    click("Command1");

    Messages shown = takeMessages();
    ASSERT_EQ(shown.size(), 2u);
    for (const Message& message : shown) {
        EXPECT_EQ(message.title, QStringLiteral("错勒"));
        EXPECT_TRUE(message.prompt.contains(file(QStringLiteral("source.txt"))))
            << message.prompt.toStdString();
    }
    EXPECT_EQ(items(), QStringList{"#kept"});
    EXPECT_EQ(text4(), QStringLiteral("mine"));
    EXPECT_EQ(text("Label1"), label1);
    EXPECT_EQ(text("Label7"), QStringLiteral("生成文件预览："));
    EXPECT_EQ(buttons(), "Read:on Filter:on Generate:on Sort:off Write:off");
}

using Filter = WindowTest;

TEST_F(Filter, BadEntriesAreAnsweredAndChangeNothing)
{
    readLines({"A1", "B"});
    click("Command3");
    EXPECT_EQ(takeMessages(), Messages{error(QStringLiteral("筛选条件绝对不能不填"))});
    retype("Text2", QStringLiteral("A"));
    // Filter and Generate read the offset box by the same rule.
    for (const char* notNumber : {"x", "-", "+", "."}) {
        retype("Text3", QString::fromUtf8(notNumber));
        click("Command3");
        click("Command5");
        EXPECT_EQ(takeMessages(), Messages(2, error(QStringLiteral("第几行只能是数字")))) << notNumber;
    }
    // Typing cannot put a negative number into the one-character box.
    get<QLineEdit>("Text3")->setMaxLength(2);
    retype("Text3", QStringLiteral("-1"));
    click("Command3");

    EXPECT_EQ(takeMessages(), Messages{error(QStringLiteral("第几行不能小于零"))});
    EXPECT_EQ(items(), (QStringList{"A1", "B"}));
    EXPECT_EQ(text("Label7"), QStringLiteral("生成文件预览："));
    EXPECT_EQ(buttons(), "Read:on Filter:on Generate:on Sort:off Write:off");
}

TEST_F(Filter, KeepsTheLinesBeginningWithTheMarkerOrTheLinesTheOffsetOn)
{
    struct Case {
        std::vector<std::string> lines;
        const char* offset;
        QStringList selected;
    };
    const Case cases[] = {
        {{"A1", "B", "A2", "xA", "a3"}, "0", {"A1", "A2"}}, {{"A1", "B"}, "", {"A1"}},
        {{"A1", "B"}, " ", {"A1"}}, {{"A1", "x", "A2", "y"}, "1", {"x", "y"}},
        {{"A1", "A2", "A3", "z"}, "1", {"A2", "z"}},  // lines jumped over are not tested
        {{"A1", "b", "c", "A2", "d"}, "2", {"c"}},  // a jump past the end adds nothing
    };
    for (const Case& c : cases) {
        readLines(c.lines, QStringLiteral("A"), QString::fromUtf8(c.offset));
        click("Command3");
        EXPECT_EQ(items(), c.selected) << c.lines.size() << " lines, offset " << c.offset;
        EXPECT_EQ(items("List2"), c.selected);
        EXPECT_EQ(buttons(), "Read:on Filter:off Generate:on Sort:off Write:off");
    }
    click("Command1");
    EXPECT_EQ(items().size(), 5);
    EXPECT_TRUE(get("Command3")->isEnabled());

    // A line with a lone LF shows marked and is matched and kept exactly.
    readLines({"B", "A\nb"}, QStringLiteral("A"));
    click("Command3");
    EXPECT_EQ(items(), QStringList{QStringLiteral("A␊b")});
    EXPECT_EQ(get<QListWidget>("List1")->item(0)->data(Qt::UserRole).toString(), QStringLiteral("A\nb"));
}

TEST_F(Filter, NeverSelectsTheOverLimitNotice)
{
    std::vector<std::string> lines(10001, "b");
    lines[9999] = "A";  // the last line shown; the notice follows it
    for (auto [marker, offset] : {std::pair{QStringLiteral("文"), "0"}, {QStringLiteral("A"), "1"}}) {
        readLines(lines, marker, QString::fromUtf8(offset));
        click("Command3");
        EXPECT_EQ(items(), QStringList()) << offset;
    }
}

using Generate = WindowTest;

TEST_F(Generate, CollectsTheDistinctCharactersOfTheSelectedLines)
{
    struct Case {
        std::vector<std::string> lines;
        const char* marker;
        const char* offset;
        QString set;
    };
    const Case cases[] = {
        {{"#abca", "xyz", "#bd"}, "#", "0", QStringLiteral("#abcd")},
        {{"abx", "AX" + zhong + wen, "Xx" + zhong + zi}, "x", "", QStringLiteral("abxX中字")},
        {{"#1", "abc", "#2", "cad"}, "#", "1", QStringLiteral("abcd")},
        {{"#1", "a", "b", "#2", "c"}, "#", "2", QStringLiteral("b")},  // stops at the end
        {{"abc"}, "q", "0", QString()},
    };
    for (const Case& c : cases) {
        readLines(c.lines, QString::fromUtf8(c.marker), QString::fromUtf8(c.offset));
        click("Command5");
        EXPECT_EQ(text4(), c.set);
        EXPECT_EQ(
            text("Label7"), QStringLiteral("生成文件预览：                共计%1个字符").arg(c.set.size()));
        EXPECT_EQ(buttons(), "Read:on Filter:off Generate:off Sort:on Write:on");
    }
}

TEST_F(Generate, ReadsTheWholeFileWhateverThePreviewShows)
{
    std::vector<std::string> lines(10000, "#a");
    lines.push_back("#" + zhong);
    readLines(lines, QStringLiteral("#"));
    click("Command3");
    click("Command5");
    EXPECT_EQ(text4(), QStringLiteral("#a中"));
}

using SortAndWrite = WindowTest;

TEST_F(SortAndWrite, SortOrdersWhatTheBoxHoldsOnce)
{
    readLines({"#cab" + wen + "B" + zhong}, QStringLiteral("#"));
    click("Command5");
    click("Command7");
    EXPECT_EQ(text4(), QStringLiteral("#Babc中文"));
    EXPECT_EQ(buttons(), "Read:on Filter:off Generate:off Sort:off Write:on");

    readLines({"xyz"}, QStringLiteral("x"));
    click("Command5");
    get<CharsetBox>("Text4")->clear();
    type("Text4", QStringLiteral("baB"));
    click("Command7");
    EXPECT_EQ(text4(), QStringLiteral("Bab"));

    readLines({"abc"}, QStringLiteral("q"));
    click("Command5");
    click("Command7");
    EXPECT_EQ(text4(), QString());
    EXPECT_FALSE(get("Command7")->isEnabled());
}

TEST_F(SortAndWrite, WriteSavesCodePage936BesideTheLastAcceptedFile)
{
    writeFile(QStringLiteral("END.txt"), "an older, longer character set");
    readLines({"a" + zhong}, QStringLiteral("a"));
    click("Command5");
    click("Command8");
    EXPECT_EQ(takeMessages(), (Messages{{QStringLiteral("恭喜！"), QStringLiteral("恭喜你！文件写入完成")}}));
    EXPECT_EQ(readFile(file(QStringLiteral("END.txt"))), "a\xD6\xD0\r\n");
    EXPECT_EQ(buttons(), "Read:on Filter:off Generate:off Sort:on Write:off");

    // END.txt goes beside the file last accepted.
    QDir().mkpath(file(QStringLiteral("子 目录")));
    browse(writeFile(QStringLiteral("子 目录/other.txt"), "ab\r\n"));
    click("Command1");
    click("Command5");
    click("Command8");
    takeMessages();
    EXPECT_EQ(readFile(file(QStringLiteral("子 目录/END.txt"))), "ab\r\n");
    EXPECT_EQ(readFile(file(QStringLiteral("END.txt"))), "a\xD6\xD0\r\n");
}

TEST_F(SortAndWrite, LineBreaksInTheSetBoxAreKeptAsTheBoxHoldsThem)
{
    auto* box = get<CharsetBox>("Text4");
    auto write = [&] {
        click("Command8");
        EXPECT_EQ(takeMessages().size(), 1u);
        return readFile(file(QStringLiteral("END.txt")));
    };
    // A typed line break is CR LF; Sort moves its LF, then its CR, to the front.
    readLines({"#abca", "xyz", "#bd"}, QStringLiteral("#"));
    click("Command5");
    box->moveCursor(QTextCursor::End);
    QTest::keyClick(box, Qt::Key_Return);
    type("Text4", QStringLiteral("Z"));
    EXPECT_EQ(write(), "#abcd\r\nZ\r\n");
    click("Command7");
    EXPECT_EQ(text4(), QStringLiteral("\n\r#Zabcd"));

    // A lone LF collected from the file stays one LF, through Sort and undo too.
    readLines({"#" + zhong + "\n" + wen}, QStringLiteral("#"));
    click("Command5");
    EXPECT_EQ(text("Label7"), QStringLiteral("生成文件预览：                共计4个字符"));
    click("Command7");
    box->moveCursor(QTextCursor::Start);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(write(), "\n#\xD6\xD0\xCE\xC4\r\n");

    // Pasted breaks keep their characters, and so does what is copied out.
    readLines({"#"}, QStringLiteral("#"));
    click("Command5");
    QApplication::clipboard()->setText(QStringLiteral("p\r\nq\rr\ns"));
    box->moveCursor(QTextCursor::End);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(text4(), QStringLiteral("#p\r\nq\rr\ns"));
    box->selectAll();
    QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("#p\r\nq\rr\ns"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(write(), "#p\r\nq\rr\ns\r\n");
}

TEST_F(SortAndWrite, WriteFailureIsReportedAndWriteStaysOn)
{
    ASSERT_TRUE(QDir().mkpath(file(QStringLiteral("END.txt"))));  // a folder in the way
    readLines({"ab"}, QStringLiteral("a"));
    click("Command5");
    click("Command8");
    ASSERT_TRUE(QDir(folder()).removeRecursively());
    click("Command8");

    Messages shown = takeMessages();
    ASSERT_EQ(shown.size(), 2u);
    for (const Message& message : shown) {
        EXPECT_EQ(message.title, QStringLiteral("错勒"));
        EXPECT_TRUE(message.prompt.contains(file(QStringLiteral("END.txt")))) << message.prompt.toStdString();
    }
    EXPECT_EQ(buttons(), "Read:on Filter:off Generate:off Sort:on Write:on");
}

}  // namespace
}  // namespace charlib::testing
