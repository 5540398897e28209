// The atlas's pages drawn and zoomed, and the web font's pieces as a table.
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QScrollArea>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>

#include "printers.h"
#include "studio/output_views.h"

namespace charlib::studio {
namespace {

// A transparent page with one white pixel at (1, 1), as an atlas page holds white glyphs.
QByteArray whiteDotPng(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixelColor(1, 1, Qt::white);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

std::vector<AtlasPage> threeAtlasPages()
{
    return {{"ui_0.png", whiteDotPng({64, 32})}, {"ui_1.png", whiteDotPng({16, 16})},
        {"ui_2.png", whiteDotPng({8, 8}).left(40)}};  // cut short: damaged
}

void pressOnPages(AtlasPagesView& view, QKeySequence keys)
{
    QTest::keySequence(view.findChild<QScrollArea*>("atlasPageScroll"), keys);
}

void ctrlWheelOnPages(AtlasPagesView& view, int delta)
{
    QWidget* viewport = view.findChild<QScrollArea*>("atlasPageScroll")->viewport();
    const QPointF at = viewport->rect().center();
    QWheelEvent wheel(at, viewport->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, Qt::ControlModifier,
        Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
}

TEST(AtlasPagesView, SwitchesPagesAndZoomsInStepsKeepingPixelsSharp)
{
    AtlasPagesView view(Language::English);
    view.resize(400, 300);
    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.findChild<QScrollArea*>("atlasPageScroll")->setFocus();
    auto* chooser = view.findChild<QComboBox*>("atlasPageChooser");
    auto* canvas = view.findChild<QWidget*>("atlasPageCanvas");
    auto* message = view.findChild<QLabel*>("atlasMessage");
    auto* info = view.findChild<QLabel*>("atlasPageInfo");
    view.setPages(threeAtlasPages());
    EXPECT_TRUE(chooser->isVisible());

    struct Step {
        const char* what;
        std::function<void()> act;
        QSize drawn;  // empty: a message instead of the picture
        QString line;
    };
    const std::vector<Step> steps{
        {"first page at 100%", [] {}, {64, 32}, "ui_0.png: 64 × 32, page 1 of 3"},
        {"Ctrl+=", [&] { pressOnPages(view, QKeySequence(Qt::CTRL | Qt::Key_Equal)); }, {128, 64},
            "ui_0.png: 64 × 32, page 1 of 3"},
        {"Ctrl+wheel up", [&] { ctrlWheelOnPages(view, 120); }, {256, 128}, "ui_0.png: 64 × 32, page 1 of 3"},
        {"Ctrl+= to 800%", [&] { pressOnPages(view, QKeySequence(Qt::CTRL | Qt::Key_Equal)); }, {512, 256},
            "ui_0.png: 64 × 32, page 1 of 3"},
        {"no more than 800%", [&] { pressOnPages(view, QKeySequence(Qt::CTRL | Qt::Key_Equal)); }, {512, 256},
            "ui_0.png: 64 × 32, page 1 of 3"},
        {"another page keeps the zoom", [&] { QTest::keyClick(chooser, Qt::Key_Down); }, {128, 128},
            "ui_1.png: 16 × 16, page 2 of 3"},
        {"Ctrl+0", [&] { pressOnPages(view, QKeySequence(Qt::CTRL | Qt::Key_0)); }, {16, 16},
            "ui_1.png: 16 × 16, page 2 of 3"},
        {"Ctrl+-", [&] { pressOnPages(view, QKeySequence(Qt::CTRL | Qt::Key_Minus)); }, {8, 8},
            "ui_1.png: 16 × 16, page 2 of 3"},
        {"Ctrl+wheel down to 25%", [&] { ctrlWheelOnPages(view, -120); }, {4, 4},
            "ui_1.png: 16 × 16, page 2 of 3"},
        {"no less than 25%", [&] { pressOnPages(view, QKeySequence(Qt::CTRL | Qt::Key_Minus)); }, {4, 4},
            "ui_1.png: 16 × 16, page 2 of 3"},
        {"new pages keep the page by its name",
            [&] {
                view.setMessage("Making the atlas…");
                auto pages = threeAtlasPages();
                std::swap(pages[0], pages[1]);
                view.setPages(pages);
            },
            {4, 4}, "ui_1.png: 16 × 16, page 1 of 3"},
        {"fit", [&] { view.zoomToFit(); }, {128, 128}, "ui_1.png: 16 × 16, page 1 of 3"},
        {"a damaged page", [&] { view.showPage(2); }, {}, ""},
        {"one page, no chooser",
            [&] {
                view.setPages({{"ui_0.png", whiteDotPng({64, 32})}});
            },
            {512, 256}, "ui_0.png: 64 × 32"},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(info->text(), step.line) << step.what;
        EXPECT_EQ(message->isVisible(), step.drawn.isEmpty()) << step.what;
        if (step.drawn.isEmpty()) {
            EXPECT_TRUE(message->text().contains("“ui_2.png”")) << step.what;
            continue;
        }
        EXPECT_EQ(canvas->size(), step.drawn) << step.what;
        // The white pixel at (1, 1) shows on the ground, a sharp square when enlarged.
        const int zoom = step.drawn.width() / (step.line.startsWith("ui_0") ? 64 : 16);
        if (zoom < 1) continue;
        const QImage drawn = canvas->grab().toImage();
        for (const auto& [x, white] :
            {std::pair{zoom - 1, false}, {zoom, true}, {2 * zoom - 1, true}, {2 * zoom, false}})
            EXPECT_EQ(drawn.pixelColor(x, x) == Qt::white, white) << step.what << " at " << x;
        EXPECT_LT(drawn.pixelColor(0, 0).lightness(), 128) << step.what << ": the ground is dark";
    }
    EXPECT_FALSE(chooser->isVisible()) << "one page needs no chooser";
}

TEST(WebPiecesTable, ShowsEachPieceAndTheTotalSortsByNumberAndCopies)
{
    const std::u32string many = U"的一是了我不人在有他这中大来上";
    const std::vector<WebPieceRow> rows{{"a.woff2", U"，。！", 1200, true, true},
        {"b.woff2", many, 1234000, false, false}, {"c.woff2", U"字", 5, false, false}};
    struct Case {
        Language language;
        std::vector<WebPieceRow> rows;
        QStringList secondRow;
        QString total;
    };
    const std::vector<Case> cases{
        {Language::English, rows, {"b.woff2", "15 characters: 的一是了我不人在有他这中…", "1,234,000", "new"},
            "3 pieces, 1,235,205 bytes; 2 new"},
        {Language::Chinese, rows, {"b.woff2", "15 个字符：的一是了我不人在有他这中…", "1,234,000", "新块"},
            "3 块，1,235,205 字节；其中 2 块是新的"},
        {Language::English, {rows[0], rows[2]}, {"c.woff2", "1 character: 字", "5", "new"},
            "2 pieces, 1,205 bytes; 1 new"},
        {Language::English, {rows[0]}, {}, "1 piece, 1,200 bytes; 0 new"},
    };
    for (const Case& each : cases) {
        WebPiecesTable pieces(each.language);
        pieces.setPieces(each.rows);
        auto* table = pieces.findChild<QTableView*>("webPieces");
        QStringList secondRow;
        for (int column = 0; column < 4 && table->model()->rowCount() > 1; ++column)
            secondRow << table->model()->index(1, column).data().toString();
        EXPECT_EQ(secondRow, each.secondRow);
        EXPECT_EQ(pieces.findChild<QLabel*>("webPiecesTotal")->text(), each.total);
    }

    WebPiecesTable pieces(Language::English);
    pieces.setPieces(rows);
    pieces.show();
    QApplication::setActiveWindow(&pieces);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&pieces));
    auto* table = pieces.findChild<QTableView*>("webPieces");
    table->sortByColumn(2, Qt::AscendingOrder);
    QStringList byBytes;
    for (int row = 0; row < 3; ++row)
        byBytes << table->model()->index(row, 0).data().toString();
    EXPECT_EQ(byBytes, QStringList({"c.woff2", "a.woff2", "b.woff2"})) << "by number, not by text";
    table->setFocus();
    table->selectRow(2);
    QTest::keySequence(table, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), "b.woff2\t" + QString::fromUcs4(many.data(), many.size()));
}

}  // namespace
}  // namespace charlib::studio
