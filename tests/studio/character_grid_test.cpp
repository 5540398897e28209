#include "studio/character_grid.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace charlib::studio {
namespace {

TEST(CharacterModel, RolesSayEachCharacterItsCodeAndUse)
{
    struct Case {
        CharacterEntry entry;
        Language language;
        QString display, accessibleText, description, tooltip;
    };
    const Case cases[] = {
        {{U'字', 12, false}, Language::English, "字", "字 U+5B57", "used 12 times",
            "字 U+5B57\nused 12 times"},
        {{U'A', 1, false}, Language::English, "A", "A U+0041", "used 1 time", "A U+0041\nused 1 time"},
        {{U'字', 3, true}, Language::English, "字", "字 U+5B57", "missing from Test Sans",
            "字 U+5B57\nused 3 times\nmissing from Test Sans"},
        {{U'字', 3, true}, Language::Chinese, "字", "字 U+5B57", "Test Sans 中缺少",
            "字 U+5B57\n用了 3 次\nTest Sans 中缺少"},
        {{U' ', 7, false}, Language::English, "U+0020", "U+0020", "used 7 times", "U+0020\nused 7 times"},
        {{U'\u3000', 7, false}, Language::English, "U+3000", "U+3000", "used 7 times",
            "U+3000\nused 7 times"},
        {{U'\t', 2, false}, Language::English, "U+0009", "U+0009", "used 2 times", "U+0009\nused 2 times"},
        {{U'\u200B', 2, false}, Language::English, "U+200B", "U+200B", "used 2 times",
            "U+200B\nused 2 times"},
        {{U'\u0301', 2, false}, Language::English, "\u25CC\u0301", "\u0301 U+0301", "used 2 times",
            "\u0301 U+0301\nused 2 times"},
        {{U'\U00020000', 0, true}, Language::English, "\U00020000", "\U00020000 U+20000",
            "missing from Test Sans",
            "\U00020000 U+20000\nadded, not in the sources\nmissing from Test Sans"},
    };
    for (const Case& c : cases) {
        CharacterModel model(c.language);
        model.setFontName("Test Sans");
        model.setCharacters({c.entry});
        const QModelIndex index = model.index(0);
        SCOPED_TRACE(c.accessibleText.toStdString());
        EXPECT_EQ(index.data(Qt::DisplayRole).toString(), c.display);
        EXPECT_EQ(index.data(Qt::AccessibleTextRole).toString(), c.accessibleText);
        EXPECT_EQ(index.data(Qt::AccessibleDescriptionRole).toString(), c.description);
        EXPECT_EQ(index.data(Qt::ToolTipRole).toString(), c.tooltip);
        EXPECT_EQ(index.data(CharacterModel::CharacterRole).toUInt(), static_cast<uint>(c.entry.character));
    }
}

// The characters the grid shows, in order.
QString shown(const CharacterGrid& grid)
{
    QString text;
    const QAbstractItemModel* model = grid.view()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const char32_t c = model->index(row, 0).data(CharacterModel::CharacterRole).toUInt();
        text += QString::fromUcs4(&c, 1);
    }
    return text;
}

TEST(CharacterGrid, FilterKeepsTheCharactersTypedOrNamedByCode)
{
    struct Case {
        QString typed;
        bool missingOnly;
        QString expected;
    };
    const Case cases[] = {
        {"", false, "字A5B7 \U00020000丁"},
        {"丁字", false, "字丁"},  // the grid's order, not the typed one
        {"U+5B57", false, "字"},
        {"u+5b57", false, "字"},
        {"5B57", false, "字5B7"},  // a code, and its own characters
        {"U+20000", false, "\U00020000"},
        {"U+0020 A", false, "A "},  // a space is found by its code
        {"U+110000", false, ""},
        {"xyz", false, ""},
        {"", true, "字\U00020000"},
        {"字A", true, "字"},
    };
    CharacterGrid grid(Language::English);
    grid.setCharacters({{U'字', 5, true}, {U'A', 4, false}, {U'5', 3, false}, {U'B', 3, false},
        {U'7', 3, false}, {U' ', 2, false}, {U'\U00020000', 1, true}, {U'丁', 1, false}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        grid.filterBox()->setText(c.typed);
        grid.missingOnlyBox()->setChecked(c.missingOnly);
        EXPECT_EQ(shown(grid), c.expected);
    }
}

TEST(CharacterGrid, ClicksAndArrowKeysSelectACharacter)
{
    CharacterGrid grid(Language::Chinese);
    grid.resize(400, 300);
    grid.setCharacters({{U'甲', 1, false}, {U'乙', 1, false}, {U'丙', 1, false}});
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    EXPECT_EQ(grid.findChild<QListView*>("Characters")->accessibleName(), "Characters");
    QSignalSpy selected(&grid, &CharacterGrid::characterSelected);
    QListView* view = grid.view();
    QTest::mouseClick(
        view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 0)).center());
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Left);
    QList<char32_t> said;
    for (const QList<QVariant>& signal : selected)
        said << signal.at(0).value<char32_t>();
    EXPECT_EQ(said, (QList<char32_t>{U'甲', U'乙', U'丙', U'乙'}));
    EXPECT_EQ(grid.currentCharacter(), U'乙');

    // A new list that still holds it keeps it current without a new signal.
    grid.setCharacters({{U'丁', 1, false}, {U'乙', 2, false}});
    EXPECT_EQ(grid.currentCharacter(), U'乙');
    EXPECT_EQ(selected.size(), 4);
}

TEST(CharacterGrid, TwentyOneThousandCharactersAreShownQuickly)
{
    std::vector<CharacterEntry> entries;
    for (char32_t c = 0x4E00; entries.size() < 21000; ++c)
        entries.push_back({c, c % 7, c % 50 == 0});
    CharacterGrid grid(Language::English);
    grid.setFontFamily("Noto Sans CJK SC", "Noto Sans CJK SC");
    grid.resize(800, 600);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    QElapsedTimer timer;
    timer.start();
    grid.setCharacters(entries);
    grid.view()->doItemsLayout();
    grid.grab();
    EXPECT_LT(timer.elapsed(), 100);
    EXPECT_EQ(grid.view()->model()->rowCount(), 21000);
}

TEST(CoverageBar, DescribesEveryNumber)
{
    CoverageBar bar(Language::English);
    // 啊 level 1, 亍 level 2, 、 another of GB2312, A and € single-byte,
    // 丂 in GBK only, U+20000 outside code page 936.
    bar.setCharacters(U"啊亍、A€丂\U00020000");
    EXPECT_EQ(bar.accessibleDescription().toStdString(),
        "7 characters; GB2312 level 1 hanzi: 1 of 3755; GB2312 level 2 hanzi: 1 of 3008; "
        "other GB2312 characters: 1; single-byte characters: 2; in GBK beyond GB2312: 1; "
        "outside code page 936: 1");
    QList<std::uint64_t> counts;
    for (const CoverageBar::Segment& segment : bar.segments())
        counts << segment.count;
    EXPECT_EQ(counts, (QList<std::uint64_t>{1, 1, 3, 1, 1}));
}

}  // namespace
}  // namespace charlib::studio
