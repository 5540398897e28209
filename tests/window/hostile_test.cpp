#include <QDir>
#include <QFile>

#include "unprivileged.h"
#include "window_support.h"

namespace charlib::testing {
namespace {

using Hostile = WindowTest;

TEST_F(Hostile, AHugeLineShowsShortenedButFilterAndGenerateSeeAllOfIt)
{
    // 20 MB of Chinese with Unix line ends: one line, as the reader defines it.
    std::string bytes;
    while (bytes.size() < 20'000'000)
        bytes += zhong + wen + "\n";
    bytes += zi;
    browse(writeFile(QStringLiteral("unix.txt"), bytes));
    click("Command1");
    ASSERT_EQ(items().size(), 1);
    EXPECT_LE(items()[0].size(), 2001);
    EXPECT_TRUE(items()[0].endsWith(QStringLiteral("…")));
    EXPECT_EQ(text("Label1"), QStringLiteral("打开文件浏览：        共1行"));

    retype("Text2", QStringLiteral("中文"));
    click("Command3");
    auto* list = get<QListWidget>("List1");
    ASSERT_EQ(list->count(), 1);
    const QString whole = list->item(0)->data(Qt::UserRole).toString();
    EXPECT_EQ(whole.size(), static_cast<qsizetype>(bytes.size() / 5 * 3 + 1));
    EXPECT_TRUE(whole.endsWith(QStringLiteral("\n字")));

    click("Command5");
    EXPECT_EQ(text4(), QStringLiteral("中文\n字"));
    EXPECT_EQ(text("Label7"), QStringLiteral("生成文件预览：                共计4个字符"));
}

TEST_F(Hostile, ASourceReplacedByAFolderOrLockedIsReportedAndChangesNothing)
{
    readLines({"#kept"}, QStringLiteral("#"));
    const QString source = file(QStringLiteral("source.txt"));
    ASSERT_TRUE(QFile::remove(source));
    ASSERT_TRUE(QDir().mkpath(source));
    click("Command1");
    Messages shown = takeMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].prompt.contains(source)) << shown[0].prompt.toStdString();
    EXPECT_TRUE(shown[0].prompt.contains(QStringLiteral("这是一个文件夹"))) << shown[0].prompt.toStdString();

    ASSERT_TRUE(QDir(source).removeRecursively());
    writeFile(QStringLiteral("source.txt"), "#other\r\n");
    ASSERT_TRUE(QFile::setPermissions(source, {}));
    {
        Unprivileged nobody;
        click("Command5");
    }
    shown = takeMessages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].prompt.contains(QStringLiteral("没有访问权限"))) << shown[0].prompt.toStdString();
    EXPECT_EQ(items(), QStringList{"#kept"});
    EXPECT_EQ(text4(), QString());
    EXPECT_EQ(buttons(), "Read:on Filter:on Generate:on Sort:off Write:off");
}

TEST_F(Hostile, AReadOnlyEndTxtOrFolderIsReportedAndKept)
{
    readLines({"ab"}, QStringLiteral("a"));
    click("Command5");
    const QString end = writeFile(QStringLiteral("END.txt"), "old\r\n");
    ASSERT_TRUE(QFile::setPermissions(end, QFile::ReadOwner));
    click("Command8");
    ASSERT_TRUE(QFile::setPermissions(end, QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(folder(), QFile::ReadOwner | QFile::ExeOwner));
    click("Command8");
    ASSERT_TRUE(QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    Messages shown = takeMessages();
    ASSERT_EQ(shown.size(), 2u);
    for (const Message& message : shown) {
        EXPECT_EQ(message.title, QStringLiteral("错勒"));
        EXPECT_TRUE(message.prompt.contains(end)) << message.prompt.toStdString();
    }
    EXPECT_EQ(readFile(end), "old\r\n");
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "a temporary file was left";
    EXPECT_EQ(buttons(), "Read:on Filter:off Generate:off Sort:on Write:on");
}

}  // namespace
}  // namespace charlib::testing
