// The window as it starts: its state, its boxes, the keyboard and the picture.
#include <QAbstractTextDocumentLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>

#include "driver.h"

namespace charlib::testing {
namespace {

using StartUp = WindowTest;

TEST_F(StartUp, OnlyBrowseAndExitAreOnAndTheBoxesKeepTheirLimits)
{
    check(blank("-----"));
    EXPECT_EQ(get<QLabel>("Picture1")->pixmap().size(), QSize(32, 32));
    EXPECT_TRUE(get("Command2")->isEnabled() && get("Command4")->isEnabled() && get("List2")->isHidden());
    type("Text1", u"typed"_s);  // read-only
    type("Text2", u"ABCDEFGHIJ中文KLMNOPQRSTUVW"_s);
    type("Text3", u"12"_s);
    EXPECT_EQ(text("Text1") + u'|' + text("Text2") + u'|' + text("Text3"), u"|ABCDEFGHIJ中文KLMNOPQR|1"_s);

    // The set box wraps a line without spaces anywhere, and Tab moves on to the picture.
    get("Text4")->setFocus();
    type("Text4", QString(300, u'x'));
    key("Text4", Qt::Key_Tab, {.set = QString(300, u'x')});
    EXPECT_EQ(QApplication::focusWidget(), get("Picture1"));
    const QTextBlock block = get<CharsetBox>("Text4")->document()->firstBlock();
    get<CharsetBox>("Text4")->document()->documentLayout()->blockBoundingRect(block);
    EXPECT_GT(block.layout()->lineCount(), 1);
}

TEST_F(StartUp, TabFollowsTheTableOrderAndThePictureShowsItsFocus)
{
    const QStringList order = {"Command1", "Command2", "Text1", "List1", "Text2", "Text3", "Command3",
        "List2", "Command4", "Command5", "Text4", "Command7", "Command8", "Picture1"};
    QStringList chain;
    for (QWidget* widget = get("Command1"); chain.size() < order.size(); widget = widget->nextInFocusChain())
        if (order.contains(widget->objectName())) chain << widget->objectName();
    EXPECT_EQ(chain, order);
    const QImage unfocused = get("Picture1")->grab().toImage();
    get("Picture1")->setFocus();
    EXPECT_NE(get("Picture1")->grab().toImage(), unfocused);
}

TEST_F(StartUp, EnterClicksTheFocusedButtonOnly)
{
    QString clicked;
    for (auto* button : form_.findChildren<QPushButton*>()) {
        button->disconnect();  // count the clicks without running the actions
        button->setEnabled(true);
        QObject::connect(
            button, &QPushButton::clicked, [&clicked, button] { clicked += button->objectName(); });
    }
    for (const char* name :
        {"Command1", "Command2", "Command3", "Command4", "Command5", "Command7", "Command8"}) {
        get(name)->setFocus();
        key(name, Qt::Key_Return);
        key(name, Qt::Key_Enter);
        EXPECT_EQ(std::exchange(clicked, {}), QString::fromLatin1(name).repeated(2));
    }
    key("Text2", Qt::Key_Return);
    EXPECT_EQ(clicked, QString());
}

TEST_F(StartUp, ThePictureExplainsControlZAndExitCloses)
{
    QTest::mouseDClick(get("Picture1"), Qt::LeftButton);
    const QStringList help = std::exchange(messages_->shown, {}).at(0).prompt.split(u'\r');
    EXPECT_EQ(help.size(), 6);
    EXPECT_TRUE(help[0].startsWith(u"Ctrl+Z 字符，早期的DOS系统中") &&
        help[5].endsWith(u"所以出现这错误的情况并不常见。"));
    click("Command4");
    EXPECT_FALSE(form_.isVisible());
}

}  // namespace
}  // namespace charlib::testing
