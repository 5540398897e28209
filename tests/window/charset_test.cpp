// Generate, Sort and Write: the character set, its box and END.txt.
#include <QClipboard>
#include <QDir>

#include "driver.h"

namespace charlib::testing {
namespace {

const Message congratulation = {u"恭喜！"_s, u"恭喜你！文件写入完成"_s};

using Charset = WindowTest;

TEST_F(Charset, GenerateCollectsTheDistinctCharactersOfTheSelectedLinesOfTheWholeFile)
{
    std::vector<std::string> many(10000, "#a");  // more than the preview shows
    many.push_back("#" + zhong);
    for (const auto& [lines, offset, set] :
        std::initializer_list<std::tuple<std::vector<std::string>, QString, QString>>{
            {{"#1", "abc", "#2", "cad"}, u"1"_s, u"abcd"_s},
            {{"#ab", "a#x" + zhong + wen}, u""_s, u"#abx中文"_s}, {{"abc"}, u"0"_s, u""_s},
            {many, u"0"_s, u"#a中"_s}}) {
        open(lines, u"#"_s, offset);
        click("Command3");
        click("Command5",
            {.buttons = "R--SW",
                .set = set,
                .label7 = u"生成文件预览：                共计%1个字符"_s.arg(set.size())});
    }
}

TEST_F(Charset, SortOrdersWhatTheBoxHoldsOnceAndWriteSavesItBesideTheSource)
{
    write(u"END.txt"_s, "an older, longer character set");
    open({"#cab" + wen + "B" + zhong}, u"#"_s);
    click("Command5");
    click("Command8", {.buttons = "R--S-", .messages = {congratulation}});  // unsorted
    EXPECT_EQ(read(u"END.txt"_s), "#cab" + wen + "B" + zhong + "\r\n");
    type("Text4", u"x"_s);
    click("Command7", {.buttons = "R----", .set = u"#Babcx中文"_s});

    open({"abc"}, u"q"_s);
    click("Command5");
    click("Command7", {.buttons = "R---W", .set = u""_s});
    QDir().mkpath(file(u"子 目录"_s));
    browse(write(u"子 目录/other.txt"_s, "ab\r\n"));
    click("Command1");
    type("Text2", {});
    click("Command5");
    click("Command8", {.messages = {congratulation}});
    EXPECT_EQ(read(u"子 目录/END.txt"_s) + read(u"END.txt"_s), "ab\r\n#cab" + wen + "B" + zhong + "\r\n");
}

TEST_F(Charset, LineBreaksInTheBoxAreKeptAsTheBoxHoldsThem)
{
    auto* box = get<CharsetBox>("Text4");
    const auto written = [&] {
        click("Command8", {.messages = {congratulation}});
        return read(u"END.txt"_s);
    };
    // A typed line break is CR LF; Sort moves its LF, then its CR, to the front.
    open({"#abca", "xyz", "#bd"}, u"#"_s);
    click("Command5");
    box->moveCursor(QTextCursor::End);
    key("Text4", Qt::Key_Return);
    type("Text4", u"Z"_s);
    EXPECT_EQ(written(), "#abcd\r\nZ\r\n");
    click("Command7", {.set = u"\n\r#Zabcd"_s});

    // A lone LF collected from the file stays one LF, through Sort and an undo too.
    open({"#" + zhong + "\n" + wen}, u"#"_s);
    click("Command5", {.label7 = u"生成文件预览：                共计4个字符"_s});
    click("Command7");
    box->moveCursor(QTextCursor::Start);
    key("Text4", Qt::Key_Delete);
    key("Text4", Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(written(), "\n#\xD6\xD0\xCE\xC4\r\n");

    // Pasted breaks keep their characters, and so does what is cut out.
    open({"#"}, u"#"_s);
    click("Command5");
    QApplication::clipboard()->setText(u"p\r\nq\rr\ns"_s);
    box->moveCursor(QTextCursor::End);
    key("Text4", Qt::CTRL | Qt::Key_V, {.set = u"#p\r\nq\rr\ns"_s});
    box->selectAll();
    key("Text4", Qt::CTRL | Qt::Key_X, {.set = u""_s});
    EXPECT_EQ(QApplication::clipboard()->text(), u"#p\r\nq\rr\ns"_s);
    key("Text4", Qt::CTRL | Qt::Key_V);
    key("Text4", Qt::Key_Return);  // a break typed last is kept too
    EXPECT_EQ(written(), "#p\r\nq\rr\ns\r\n\r\n");
}

TEST_F(Charset, AWriteThatFailsIsReportedKeepsTheOldFileAndStaysOn)
{
    open({"ab"}, u"a"_s);
    click("Command5");
    const QString end = write(u"END.txt"_s, "old\r\n");
    QFile::setPermissions(end, QFile::ReadOwner);
    click("Command8",
        {.buttons = "R--SW",
            .messages = {error(u"无法写入文件“%1”：没有访问权限（或文件是只读的）"_s.arg(end))}});
    EXPECT_EQ(read(u"END.txt"_s), "old\r\n");
}

}  // namespace
}  // namespace charlib::testing
