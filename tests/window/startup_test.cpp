#include <QAbstractTextDocumentLayout>
#include <QLabel>
#include <QScrollBar>
#include <QTextBlock>

#include <map>

#include "window_support.h"

namespace charlib::testing {
namespace {

using StartUp = WindowTest;

TEST_F(StartUp, ShowsTheFullWindowWithOnlyBrowseAndExitEnabled)
{
    EXPECT_EQ(buttons(), "Read:off Filter:off Generate:off Sort:off Write:off");
    EXPECT_TRUE(get("Command2")->isEnabled() && get("Command4")->isEnabled());
    for (const char* empty : {"Text1", "Text2", "Text3"})
        EXPECT_EQ(text(empty), QString()) << empty;
    EXPECT_EQ(text4(), QString());
    EXPECT_EQ(items(), QStringList());
    EXPECT_TRUE(get("List2")->isHidden());
    EXPECT_EQ(form_->objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(form_->minimumSize(), QSize(730, 630));
    EXPECT_EQ(form_->maximumSize(), QSize(730, 630));
    EXPECT_EQ(get<QLabel>("Picture1")->pixmap().size(), QSize(32, 32));
    EXPECT_FALSE(form_->windowIcon().isNull());

    struct Control {
        const char* name;
        int left, top, width, height;  // twips
        const char* text;
    };
    const Control table[] = {
        {"Label4", 600, 480, 2295, 255, "请选择要提取的TXT文件："}, {"Text1", 2760, 360, 6375, 375, ""},
        {"Command2", 9240, 360, 615, 375, "浏览"}, {"Command1", 960, 1080, 975, 375, "读取"},
        {"Label5", 2040, 1200, 495, 255, "-->>"}, {"Command5", 2520, 1080, 1455, 375, "生成非重复字库"},
        {"Label6", 4080, 1200, 495, 255, "-->>"}, {"Command7", 4560, 1080, 975, 375, "排序"},
        {"Label8", 5640, 1200, 495, 255, "-->>"}, {"Command8", 6120, 1080, 1215, 375, "写入END.txt"},
        {"Command4", 8280, 1080, 855, 375, "退出"}, {"Label1", 240, 1800, 9135, 255, "打开文件浏览："},
        {"List1", 240, 2040, 10455, 3660, nullptr}, {"Label2", 1800, 6000, 1335, 255, "筛选首字符为："},
        {"Text2", 3120, 5880, 2295, 375, ""}, {"Label3", 5520, 6000, 1335, 255, "之后的第几行："},
        {"Text3", 6840, 5880, 735, 375, ""}, {"Command3", 7800, 5880, 975, 375, "筛选看看"},
        {"Label7", 240, 6480, 9375, 255, "生成文件预览："}, {"Text4", 240, 6720, 10455, 2535, nullptr},
        {"List2", 0, 600, 495, 420, nullptr},
        {"Picture1", 10480, 0, 495, 495, nullptr},  // clipped at the right edge
    };
    for (const Control& c : table) {
        EXPECT_EQ(get(c.name)->geometry(),
            QRect(
                qRound(c.left / 15.0), qRound(c.top / 15.0), qRound(c.width / 15.0), qRound(c.height / 15.0)))
            << c.name;
        if (c.text) {
            EXPECT_EQ(text(c.name), QString::fromUtf8(c.text)) << c.name;
        }
    }
}

TEST_F(StartUp, BoxesKeepTheirLimits)
{
    type("Text1", QStringLiteral("typed"));
    type("Text2", QStringLiteral("ABCDEFGHIJ中文KLMNOPQRSTUVW"));
    type("Text3", QStringLiteral("12"));
    EXPECT_EQ(text("Text1"), QString()) << "the path box is read-only";
    EXPECT_EQ(text("Text2"), QStringLiteral("ABCDEFGHIJ中文KLMNOPQR"));
    EXPECT_EQ(text("Text3"), QStringLiteral("1"));

    // The character-set box is editable, wraps a line without spaces
    // anywhere, and lets Tab move on instead of typing a tab.
    auto* box = get<QPlainTextEdit>("Text4");
    type("Text4", QString(300, QLatin1Char('x')));
    QTest::keyClick(box, Qt::Key_Tab);
    EXPECT_EQ(text4(), QString(300, QLatin1Char('x')));
    EXPECT_FALSE(box->hasFocus());
    QTextBlock block = box->document()->firstBlock();
    box->document()->documentLayout()->blockBoundingRect(block);
    EXPECT_GT(block.layout()->lineCount(), 1);
    EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(StartUp, TabFollowsTheTableOrderAndReachesThePicture)
{
    const QStringList expected = {"Command1", "Command2", "Text1", "List1", "Text2", "Text3", "Command3",
        "List2", "Command4", "Command5", "Text4", "Command7", "Command8", "Picture1"};
    QStringList chain;
    QWidget* widget = get("Command1");
    do {
        if (expected.contains(widget->objectName())) chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != get("Command1"));
    EXPECT_EQ(chain, expected);

    // Tab from the set box, past the disabled Sort and Write, lands on the
    // picture, which shows a focus frame.
    QWidget* picture = get("Picture1");
    const QImage unfocused = picture->grab().toImage();
    get("Text4")->setFocus();
    QTest::keyClick(get("Text4"), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), picture);
    EXPECT_NE(picture->grab().toImage(), unfocused);
}

TEST_F(StartUp, EnterClicksTheFocusedButtonOnly)
{
    const char* commands[] = {
        "Command1", "Command2", "Command3", "Command4", "Command5", "Command7", "Command8"};
    std::map<std::string, int> clicks;
    for (const char* name : commands) {
        auto* button = get<QPushButton>(name);
        button->disconnect();  // count the clicks without running the actions
        button->setEnabled(true);
        QObject::connect(button, &QPushButton::clicked, [&clicks, name] { ++clicks[name]; });
    }
    for (const char* name : commands) {
        get(name)->setFocus();
        QTest::keyClick(get(name), Qt::Key_Return);
        QTest::keyClick(get(name), Qt::Key_Enter);
        EXPECT_EQ(clicks, (std::map<std::string, int>{{name, 2}})) << name;
        clicks.clear();
    }
    get("Text2")->setFocus();
    QTest::keyClick(get("Text2"), Qt::Key_Return);
    EXPECT_EQ(clicks, (std::map<std::string, int>{}));
}

TEST_F(StartUp, PictureDoubleClickExplainsControlZAndExitCloses)
{
    QTest::mouseDClick(get("Picture1"), Qt::LeftButton);
    EXPECT_EQ(takeMessages(),
        (Messages{{QStringLiteral("关于Ctrl+Z"),
            QStringLiteral(
                "Ctrl+Z "
                "字符，早期的DOS系统中用来表示文件结束，在VB6中（其它版本未知），也用来表示文本文件的结束，\r"
                "在VB文件打开方式为input，output的模式下，如果打开的文件中包含Ctrl+Z即（&"
                "H1A）字符，就会出现读取到\r"
                "Ctrl+"
                "Z字符程序就认为文件结束的情况，无法正确的读取到整个文件，解决的办法，使用BINARY二进制模式来"
                "打\r"
                "开包含有此字符的文件，在行操作的时候，手动判断换行符及回车符，还要正确的区分双字节的汉字与单"
                "字节的\r"
                "英文字母，是一个很麻烦的事情。另外一个解决的办法是手动删除文件中的&H1A字符。\r"
                "对于余文本文件来说，普通的文本编辑软件根本没有办法文本打出&"
                "H1A字符，所以出现这错误的情况并不常见。")}}));
    EXPECT_EQ(buttons(), "Read:off Filter:off Generate:off Sort:off Write:off");

    click("Command4");
    EXPECT_FALSE(form_->isVisible());
}

}  // namespace
}  // namespace charlib::testing
