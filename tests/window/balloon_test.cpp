// The balloon tips of the marker and offset boxes, and the helper behind them.
#include <QPointer>

#include "driver.h"
#include "tooltip/balloon_tip.h"
#include "tooltip/class1.h"

namespace charlib::testing {
namespace {

BalloonTip* balloon(QWidget* control)
{
    const auto found = control->findChildren<BalloonTip*>(Qt::FindDirectChildrenOnly);
    EXPECT_EQ(found.size(), 1) << "one balloon per control";
    return found.value(0);
}

// Rests the pointer on the control until its balloon comes up.
bool hoverShows(QWidget* control)
{
    QTest::mouseMove(control, QPoint(5, 5));
    QTest::mouseMove(control, control->rect().center());
    return QTest::qWaitFor([&] { return balloon(control)->isVisible(); });
}

using Balloons = WindowTest;

TEST_F(Balloons, MarkerAndOffsetBoxesShowTheirTipsWhileHovered)
{
    for (const auto& [name, tip] :
        {std::pair{"Text2", u"请注意大小写输入是正确"_s}, {"Text3", u"可填可不填，默认0行，即当前行"_s}}) {
        QWidget* box = get(name);
        EXPECT_EQ(balloon(box)->title() + balloon(box)->text(), tip);
        ASSERT_TRUE(!balloon(box)->isVisible() && hoverShows(box)) << name;
        const QRect onScreen(box->mapToGlobal(QPoint()), box->size());
        EXPECT_EQ(balloon(box)->geometry().top(), onScreen.bottom() + 1) << "the stem meets the box";
        EXPECT_LT(balloon(box)->geometry().left(), onScreen.right());
        // The stem's tip is where the pointer rests; the bubble is filled.
        const QPoint stem = box->mapToGlobal(QPoint(box->width() / 2, box->height())) - balloon(box)->pos();
        EXPECT_TRUE(balloon(box)->mask().contains(stem + QPoint(1, 2)) &&
            !balloon(box)->mask().contains(QPoint(0, 0)));
        const QImage image = balloon(box)->grab().toImage();
        EXPECT_EQ(
            image.pixelColor(3, image.height() / 2), balloon(box)->palette().color(QPalette::ToolTipBase));
        int ink = 0;  // pixels well inside the outline that are not the ground
        const QRegion inside = balloon(box)->mask();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ink += inside.contains(QPoint(x - 3, y - 3)) && inside.contains(QPoint(x + 3, y + 3)) &&
                    inside.contains(QPoint(x - 3, y + 3)) && inside.contains(QPoint(x + 3, y - 3)) &&
                    image.pixelColor(x, y) != balloon(box)->palette().color(QPalette::ToolTipBase);
        EXPECT_GT(ink, 20) << "the text is drawn";
        QTest::mouseMove(get("Command3"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !balloon(box)->isVisible(); })) << "leaving hides it";
        ASSERT_TRUE(hoverShows(box));
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
        EXPECT_FALSE(balloon(box)->isVisible()) << "a click hides it";
    }
}

TEST(Class1, TheBalloonBelongsToTheControlAndFollowsLaterAssignments)
{
    QWidget window;
    auto* control = new QWidget(&window);
    window.show();
    Class1 tip;
    tip.Create();  // no control yet: nothing to attach to
    tip.ParentControl(control);
    tip.ToolTipTitle(QString());
    tip.ToolTipText(u"旧的"_s);
    tip.Create();
    tip.Create();  // replaces the balloon
    QPointer<BalloonTip> shown = balloon(control);
    const int withoutTitle = shown->height();
    tip.ToolTipText(u"新的"_s);
    tip.ToolTipTitle(u"标题"_s);
    EXPECT_EQ(shown->title() + shown->text(), u"标题新的"_s);
    EXPECT_GT(shown->height(), withoutTitle) << "the title takes a line of its own";
    tip.ToolTipText(QString());
    shown->popUp(QPoint(5, 5));
    EXPECT_FALSE(shown->isVisible()) << "no text, no balloon";
    delete control;
    EXPECT_TRUE(shown.isNull()) << "the balloon ends with its control";
}

}  // namespace
}  // namespace charlib::testing
