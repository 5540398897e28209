#include <QPointer>

#include "tooltip/balloon_tip.h"
#include "tooltip/class1.h"
#include "window_support.h"

namespace charlib::testing {
namespace {

QList<BalloonTip*> balloons(QWidget* control)
{
    return control->findChildren<BalloonTip*>(Qt::FindDirectChildrenOnly);
}

// Rests the pointer on the control until its balloon comes up.
bool hoverShows(QWidget* control, BalloonTip* balloon)
{
    QTest::mouseMove(control, QPoint(5, 5));
    QTest::mouseMove(control, control->rect().center());
    return QTest::qWaitFor([&] { return balloon->isVisible(); });
}

using WindowBalloons = WindowTest;

TEST_F(WindowBalloons, MarkerAndOffsetBoxesShowTheirTipsWhileHovered)
{
    const std::pair<const char*, QString> tips[] = {
        {"Text2", QStringLiteral("请注意大小写输入是正确")},
        {"Text3", QStringLiteral("可填可不填，默认0行，即当前行")},
    };
    for (const auto& [name, tip] : tips) {
        QWidget* box = get(name);
        ASSERT_EQ(balloons(box).size(), 1) << name;
        BalloonTip* balloon = balloons(box)[0];
        EXPECT_EQ(balloon->text(), tip);
        EXPECT_EQ(balloon->title(), QString());
        EXPECT_FALSE(balloon->isVisible());

        ASSERT_TRUE(hoverShows(box, balloon)) << name;
        QRect boxOnScreen(box->mapToGlobal(QPoint()), box->size());
        EXPECT_EQ(balloon->geometry().top(), boxOnScreen.bottom() + 1) << "the stem meets the box";
        EXPECT_LT(balloon->geometry().left(), boxOnScreen.right());

        QTest::mouseMove(get("Command3"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !balloon->isVisible(); })) << "leaving hides it";
        ASSERT_TRUE(hoverShows(box, balloon));
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
        EXPECT_FALSE(balloon->isVisible()) << "a click hides it";
    }
}

TEST(Class1, BalloonBelongsToTheControlAndFollowsLaterAssignments)
{
    QWidget window;
    auto* control = new QWidget(&window);
    control->setGeometry(20, 20, 150, 25);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    Class1 tip;
    tip.ParentControl(control);
    tip.ToolTipTitle(QString());
    tip.ToolTipText(QStringLiteral("旧的"));
    tip.Create();
    tip.Create();
    ASSERT_EQ(balloons(control).size(), 1) << "Create twice leaves one balloon";
    QPointer<BalloonTip> balloon = balloons(control)[0];
    const int withoutTitle = balloon->height();

    tip.ToolTipText(QStringLiteral("新的"));
    tip.ToolTipTitle(QStringLiteral("标题"));
    EXPECT_EQ(balloon->text(), QStringLiteral("新的"));
    EXPECT_EQ(balloon->title(), QStringLiteral("标题"));
    EXPECT_GT(balloon->height(), withoutTitle) << "the title takes a line of its own";
    tip.ToolTipText(QString());
    balloon->popUp(QPoint(5, 5));
    EXPECT_FALSE(balloon->isVisible()) << "no text, no balloon";

    {
        Class1 dropped;
        dropped.ParentControl(control);
        dropped.ToolTipText(QStringLiteral("x"));
    }
    EXPECT_FALSE(balloon.isNull());
    delete control;
    EXPECT_TRUE(balloon.isNull()) << "the balloon ends with its control";
}

}  // namespace
}  // namespace charlib::testing
