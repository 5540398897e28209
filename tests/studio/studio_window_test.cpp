#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMimeData>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <memory>

#include "printers.h"
#include "studio/character_grid.h"
#include "studio/dialogs.h"
#include "studio/studio_window.h"
#include "temp_dir.h"

namespace charlib::studio {
namespace {

using namespace Qt::StringLiterals;

// The dialogs answered from a script; what the window showed is kept.
struct ScriptedDialogs : StudioDialogs {
    std::deque<QString> answers;  // for every dialog that asks for a path or a text, in turn
    std::deque<Unsaved> unsaved;
    QStringList errors;
    int unsavedAsked = 0;

    QString next()
    {
        if (answers.empty()) return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QString openProject(QWidget*, const QString&) override { return next(); }
    QString saveProjectAs(QWidget*, const QString&) override { return next(); }
    QStringList sourceFiles(QWidget*, const QString&) override
    {
        const QString answer = next();
        return answer.isEmpty() ? QStringList{} : QStringList{answer};
    }
    QString sourceFolder(QWidget*, const QString&) override { return next(); }
    QString path(QWidget*, const QString&, const QString&, PathKind) override { return next(); }
    QString text(QWidget*, const QString&, const QString&, const QString&) override { return next(); }
    Unsaved askUnsaved(QWidget*, const QString&) override
    {
        ++unsavedAsked;
        if (unsaved.empty()) return Unsaved::Cancel;
        const Unsaved answer = unsaved.front();
        unsaved.pop_front();
        return answer;
    }
    void showError(QWidget*, const QString& text) override { errors.push_back(text); }
};

// WenQuanYi Micro Hei has the hanzi, not the emoji.
constexpr const char* microhei = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

// A project of one job in a folder of its own, opened in the window like a user would.
class Studio : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.write("lines/source.txt", "你好世界\n第二行😀\n");
        dir.write("lines/charlib.toml",
            std::string("[[font]]\nname = \"ui\"\nsources = [\"source.txt\"]\nfont = \"") + microhei +
                "\"\noutput = \"out/chars.txt\"\natlas = \"out/ui\"\nsize = 16\n");
        auto script = std::make_unique<ScriptedDialogs>();
        dialogs = script.get();
        window = std::make_unique<StudioWindow>(Language::English, std::move(script));
        window->show();
    }
    void TearDown() override
    {
        // The window is let go without asking.
        if (window) window->setWindowModified(false);
        window.reset();
        QDir::setCurrent(before);
    }

    // Waits for the look at the current job to be shown.
    void waitInspected()
    {
        QSignalSpy shown(window.get(), &StudioWindow::inspected);
        ASSERT_TRUE(shown.wait(20000));
    }
    void open()
    {
        ASSERT_TRUE(window->openProject(QString::fromStdString((dir.path() / "lines/charlib.toml").string())));
        waitInspected();
    }
    template <class T>
    T* find(const QString& name) const
    {
        T* found = window->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }

    const QString before = QDir::currentPath();
    const TempDir dir;
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<StudioWindow> window;
};

TEST_F(Studio, OpensAProjectAndShowsWhatItsFontLacks)
{
    open();
    EXPECT_EQ(window->windowTitle(), u"Charlib Studio — lines[*]"_s);
    auto* summary = find<QLabel>(u"Summary"_s);
    EXPECT_EQ(summary->text(), u"8 characters, 1 missing from WenQuanYi Micro Hei"_s);
    EXPECT_EQ(summary->accessibleDescription(), summary->text());

    auto* sources = find<QTableWidget>(u"Sources"_s);
    ASSERT_EQ(sources->rowCount(), 1);
    const QStringList row{u"source.txt"_s, u"lines"_s, u"utf-8"_s};
    for (int column = 0; column < row.size(); ++column)
        EXPECT_EQ(sources->item(0, column)->text(), row[column]) << column;
    EXPECT_EQ(sources->item(0, 4)->text(), u"2"_s);

    auto* grid = find<QListView>(u"Characters"_s);
    ASSERT_EQ(grid->model()->rowCount(), 8);
    const QModelIndex emoji = grid->model()->index(7, 0);
    EXPECT_TRUE(emoji.data(Qt::AccessibleDescriptionRole).toString().startsWith(u"missing from"_s));
    EXPECT_EQ(find<QLabel>(u"CharactersShown"_s)->text(), u"8 distinct characters"_s);
    EXPECT_TRUE(find<QLabel>(u"MissingLegend"_s)->text().contains(u"missing from WenQuanYi Micro Hei: 1 character,"_s))
        << find<QLabel>(u"MissingLegend"_s)->text().toStdString();
    auto* filter = find<QLineEdit>(u"CharacterFilter"_s);
    QTest::keyClicks(filter, u"U+1F600"_s);
    EXPECT_EQ(find<QLabel>(u"CharactersShown"_s)->text(), u"1 of 8 characters shown"_s);

    // A flag ticked on the font's tab is the job's; one that cannot go with the others is said at once.
    find<QTabWidget>(u"JobTabs"_s)->setCurrentIndex(2);
    QSignalSpy looked(window.get(), &StudioWindow::inspected);
    auto* box = find<QCheckBox>(u"missing-only"_s);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_TRUE(window->project().jobs.front().has("missing-only"));
    ASSERT_TRUE(looked.wait(20000));
    EXPECT_TRUE(find<QLabel>(u"Summary"_s)->text().startsWith(u"--missing-only keeps only the characters the font lacks"_s));
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_FALSE(window->project().jobs.front().has("missing-only"));
}

// A character selected lists its places as -f where gives them, and Ctrl+C copies them.
TEST_F(Studio, PlacesOfACharacterAreListedAndCopied)
{
    open();
    auto* grid = find<QListView>(u"Characters"_s);
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(7, 0));
    auto* places = find<QListWidget>(u"Places"_s);
    ASSERT_EQ(places->count(), 1);
    EXPECT_EQ(places->item(0)->text(), u"😀\tU+1F600\tsource.txt:2:4\t\t“第二行😀”"_s);
    QApplication::clipboard()->clear();
    places->setFocus();
    QTest::keyClick(places, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), places->item(0)->text() + u"\n"_s);
}

// Build writes what charlib-cli build writes, and says so; a build that fails says why.
TEST_F(Studio, BuildWritesTheOutputsAndSaysWhatHappened)
{
    open();
    QSignalSpy built(window.get(), &StudioWindow::built);
    QTest::mouseClick(find<QPushButton>(u"Build"_s), Qt::LeftButton);
    ASSERT_TRUE(built.wait(30000));
    EXPECT_EQ(built.at(0).at(0).toInt(), 0);
    for (const char* output : {"out/chars.txt", "out/ui.fnt", "out/ui_0.png"})
        EXPECT_TRUE(std::filesystem::exists(dir.path() / "lines" / output)) << output;
    EXPECT_EQ(TempDir::read(dir.path() / "lines/out/chars.txt"), "你好世界第二行😀\n");
    const QString said = find<QPlainTextEdit>(u"Messages"_s)->toPlainText();
    EXPECT_TRUE(said.contains(u"ui: The font"_s)) << said.toStdString();
    waitInspected();

    // The source gone: the build fails and writes nothing.
    std::filesystem::remove(dir.path() / "lines/source.txt");
    std::filesystem::remove(dir.path() / "lines/out/chars.txt");
    QTest::keyClick(window.get(), Qt::Key_B, Qt::ControlModifier);
    ASSERT_TRUE(built.wait(30000));
    EXPECT_NE(built.at(1).at(0).toInt(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "lines/out/chars.txt"));
}

// An edit is saved, kept or dropped as the user answers when the window closes.
TEST_F(Studio, UnsavedChangesAreAskedAboutOnClose)
{
    open();
    QSignalSpy looked(window.get(), &StudioWindow::inspected);
    auto* marker = find<QLineEdit>(u"marker"_s);
    marker->setFocus();
    QTest::keyClicks(marker, u"#"_s);
    EXPECT_TRUE(window->isModified());
    QTest::qWait(1200);
    EXPECT_EQ(looked.count(), 1) << "an edit is looked at once";

    dialogs->unsaved = {StudioDialogs::Unsaved::Cancel};
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());

    dialogs->unsaved = {StudioDialogs::Unsaved::Save};
    EXPECT_TRUE(window->close());
    EXPECT_EQ(dialogs->unsavedAsked, 2);
    const std::string saved = TempDir::read(dir.path() / "lines/charlib.toml");
    EXPECT_NE(saved.find("marker = \"#\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("sources = [\"source.txt\"]"), std::string::npos) << saved;
}

// Jobs are added, duplicated, renamed and removed; the project file then holds them.
TEST_F(Studio, JobsAreEditedAndSaved)
{
    open();
    QTest::mouseClick(find<QPushButton>(u"DuplicateJobButton"_s), Qt::LeftButton);
    dialogs->answers = {u"ui"_s, u"dialogue"_s};
    QTest::mouseClick(find<QPushButton>(u"RenameJobButton"_s), Qt::LeftButton);  // taken: refused
    EXPECT_EQ(dialogs->errors, QStringList{u"A job is already named “ui”"_s});
    QTest::mouseClick(find<QPushButton>(u"RenameJobButton"_s), Qt::LeftButton);
    QTest::mouseClick(find<QPushButton>(u"AddJobButton"_s), Qt::LeftButton);
    std::vector<std::string> names;
    for (const JobSettings& job : window->project().jobs)
        names.push_back(job.name);
    EXPECT_EQ(names, (std::vector<std::string>{"ui", "dialogue", "font"}));

    // The new job has no sources: the project is not saved, and says why.
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(dialogs->errors.size(), 2);
    EXPECT_TRUE(dialogs->errors.back().contains(u"has no sources"_s)) << dialogs->errors.back().toStdString();
    QTest::mouseClick(find<QPushButton>(u"RemoveJobButton"_s), Qt::LeftButton);
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(window->isModified());
    find<QAction>(u"CopyCommandLine"_s)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(),
        u"cd "_s + QString::fromStdString((dir.path() / "lines").string()) +
            u" && charlib-cli --font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc --output=out/chars.txt "
            "--atlas=out/ui --size=16 -- source.txt"_s);
    const ProjectModel saved = open_project(dir.path() / "lines/charlib.toml", Language::English);
    ASSERT_EQ(saved.jobs.size(), 2u);
    EXPECT_EQ(saved.jobs[1].name, "dialogue");
    EXPECT_EQ(saved.jobs[1].options, saved.jobs[0].options);
}

// A folder given as a source is read whole; a bad value is said where the characters were.
TEST_F(Studio, FolderSourcesAndBadValues)
{
    dir.write("site/a.html", "<p>甲乙</p>");
    dir.write("site/deep/b.html", "<p>丙</p>");
    QDir::setCurrent(QString::fromStdString(dir.path().string()));
    window->openArguments({u"site"_s});
    waitInspected();
    ASSERT_EQ(window->project().jobs.size(), 1u);
    const JobSettings& job = window->project().jobs.front();
    EXPECT_TRUE(job.has("recursive"));
    EXPECT_EQ(job.sources, std::vector<std::string>{"."});
    // The folder with what it takes, then each file read from it.
    auto* sources = find<QTableWidget>(u"Sources"_s);
    ASSERT_EQ(sources->rowCount(), 3);
    EXPECT_EQ(sources->item(0, 0)->text(), u"."_s);
    EXPECT_EQ(sources->item(0, 1)->text(), u"folder"_s);
    EXPECT_EQ(sources->item(2, 0)->text(), u"./deep/b.html"_s);
    EXPECT_EQ(sources->item(2, 1)->text(), u"html"_s);

    // A file dropped on the window is one more source; an encoding set on a row is the job's.
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.write("site/c.txt", "丁\n").string()))});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject*>(window.get())->event(&drop);  // as Qt hands it over at the end of a drag
    waitInspected();
    EXPECT_EQ(window->project().jobs.front().sources, (std::vector<std::string>{".", "c.txt"}));
    dialogs->answers = {u"klingon"_s};  // refused as the command line refuses it
    emit sources->cellDoubleClicked(3, 2);
    ASSERT_EQ(dialogs->errors.size(), 1);
    EXPECT_TRUE(dialogs->errors.front().contains(u"--encoding"_s)) << dialogs->errors.front().toStdString();
    EXPECT_FALSE(window->project().jobs.front().has("encoding"));
    dialogs->errors.clear();
    dialogs->answers = {u"gb18030"_s};
    emit sources->cellDoubleClicked(3, 2);
    waitInspected();
    EXPECT_EQ(window->project().jobs.front().value("encoding"), "gb18030");
    EXPECT_EQ(sources->item(3, 2)->text(), u"gb18030"_s);

    auto* size = find<QLineEdit>(u"size"_s);
    size->setFocus();
    QTest::keyClicks(size, u"huge"_s);
    QTRY_VERIFY_WITH_TIMEOUT(find<QLabel>(u"Summary"_s)->text().contains(u"--size"_s), 5000);
    dialogs->answers = {QString::fromStdString((dir.path() / "site/charlib.toml").string())};
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(dialogs->errors.size(), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "site/charlib.toml"));
}

// Cancel stops a long look at once: the window says so and is free.
TEST_F(Studio, CancelStopsALongLook)
{
    dir.write("big/a.txt", "字\n");
    dir.write("big/charlib.toml", std::string("[[font]]\nname = \"big\"\nsources = \"a.txt\"\nadd-set = \"gb2312\"\n"
                                              "font = \"") + microhei + "\"\natlas = \"a\"\nsdf = true\nsize = 64\n");
    QSignalSpy looked(window.get(), &StudioWindow::inspected);
    ASSERT_TRUE(window->openProject(QString::fromStdString((dir.path() / "big/charlib.toml").string())));
    auto* cancel = find<QPushButton>(u"Cancel"_s);
    ASSERT_TRUE(cancel->isEnabled());
    QTest::qWait(300);  // drawing by now
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_EQ(find<QLabel>(u"Summary"_s)->text(), u"Cancelled"_s);
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_FALSE(find<QProgressBar>(u"Progress"_s)->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!window->isBusy(), 3000);
    EXPECT_EQ(looked.count(), 0);
}

// Every control a user can reach with the keyboard has a name a screen reader reads, in
// English and in Chinese, and the window fits a 1280×720 screen.
TEST_F(Studio, EveryControlHasANameAndTheWindowFits)
{
    for (const Language language : {Language::English, Language::Chinese}) {
        StudioWindow shown(language, std::make_unique<ScriptedDialogs>());
        shown.show();
        shown.addSources({QString::fromStdString(dir.write("a.txt", "字").string())});
        EXPECT_LE(shown.minimumSizeHint().width(), 1280);
        EXPECT_LE(shown.minimumSizeHint().height(), 720);
        for (QWidget* control : shown.findChildren<QWidget*>()) {
            if (control->focusPolicy() == Qt::NoFocus || !control->isEnabled()) continue;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            ASSERT_NE(accessible, nullptr);
            EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
                << control->metaObject()->className() << " " << control->objectName().toStdString();
        }
        // Every button shown is laid out where it can be clicked: inside the window, on none of the others.
        std::vector<std::pair<QRect, QString>> buttons;
        for (QPushButton* button : shown.findChildren<QPushButton*>()) {
            if (!button->isVisibleTo(&shown)) continue;
            const QRect at(button->mapTo(&shown, QPoint(0, 0)), button->size());
            EXPECT_TRUE(shown.rect().contains(at)) << button->objectName().toStdString();
            for (const auto& [other, name] : buttons)
                EXPECT_FALSE(at.intersects(other)) << button->objectName().toStdString() << " on " << name.toStdString();
            buttons.emplace_back(at, button->objectName());
        }
        EXPECT_GE(buttons.size(), 8u);
        shown.setWindowModified(false);
    }
}

// With Rebuild on change, an edited source builds its job again; what the build writes
// into the folder it reads builds nothing more.
TEST_F(Studio, AnEditedSourceRebuildsItsJob)
{
    dir.write("game/lang/a.txt", "你好\n");
    dir.write("game/charlib.toml", "[[font]]\nname = \"all\"\nsources = \".\"\nrecursive = true\n"
                                   "output = \"out/chars.txt\"\n");
    ASSERT_TRUE(window->openProject(QString::fromStdString((dir.path() / "game/charlib.toml").string())));
    waitInspected();
    QSignalSpy built(window.get(), &StudioWindow::built);
    find<QCheckBox>(u"RebuildOnChange"_s)->setChecked(true);
    dir.write("game/lang/a.txt", "你好\n新的一行\n");
    ASSERT_TRUE(built.wait(30000));
    EXPECT_EQ(built.at(0).at(0).toInt(), 0);
    EXPECT_EQ(TempDir::read(dir.path() / "game/out/chars.txt"), "你好新的一行\n");
    EXPECT_FALSE(built.wait(1500)) << "built again, though only its own outputs changed";
    dir.write("game/lang/sub/b.txt", "再见\n");  // a new file in a new folder
    ASSERT_TRUE(built.wait(30000));
    EXPECT_EQ(TempDir::read(dir.path() / "game/out/chars.txt"), "你好新的一行再见\n");
}

}  // namespace
}  // namespace charlib::studio
