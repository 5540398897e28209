// The Qt message box and open-file dialog behind the window's interfaces.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include "app/qt_translation.h"
#include "driver.h"

namespace charlib::testing {
namespace {

// Answers the modal dialog once its event loop runs.
template <class Modal> void whenShown(std::function<void(Modal*)> answer)
{
    QTimer::singleShot(0, [answer] {
        auto* modal = qobject_cast<Modal*>(QApplication::activeModalWidget());
        ASSERT_NE(modal, nullptr) << "no modal dialog came up";
        answer(modal);
    });
}

TEST(QtDialogs, AMessageBoxShowsTitleAndPromptLinesWithOnlyOk)
{
    QString shown;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        shown = box->windowTitle() + u'|' + box->text();
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->buttons().size(), 1);
        box->button(QMessageBox::Ok)->click();
    });
    QtMessageBoxes().MsgBox(nullptr, u"一\r二\r\n<b>&三"_s, u"错勒"_s);
    EXPECT_EQ(shown, u"错勒|一\n二\n<b>&三"_s);
}

TEST(QtDialogs, TheFileDialogOffersTheTwoFiltersAndReportsTheChoice)
{
    QTemporaryDir dir;
    const QString chosen = dir.filePath(u"选 中"_s);  // no extension: "*.*" takes it too
    QFile(chosen).open(QIODevice::WriteOnly);
    QtCommonDialog common;
    common.Filter = u"Text (*.txt)|*.txt|All file (*.*)| *.* "_s;
    EXPECT_EQ(
        qtNameFilters(common.Filter), (QStringList{u"Text (*.txt) (*.txt)"_s, u"All file (*.*) (*)"_s}));
    whenShown<QFileDialog>([&](QFileDialog* dialog) {
        auto* types = dialog->findChild<QComboBox*>(u"fileTypeCombo"_s);
        EXPECT_EQ(types->itemText(0) + u'|' + types->itemText(1) + u'|' + types->currentText(),
            u"Text (*.txt)|All file (*.*)|Text (*.txt)"_s);
        dialog->setDirectory(dir.path());
        dialog->selectNameFilter(dialog->nameFilters().at(1));
        dialog->selectFile(chosen);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
    });
    EXPECT_TRUE(common.ShowOpen(nullptr));
    EXPECT_EQ(common.FileName, chosen);
    whenShown<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->directory().absolutePath(),
            QDir(dir.path()).absolutePath());  // where the last was chosen
        dialog->reject();
    });
    EXPECT_FALSE(common.ShowOpen(nullptr));
    EXPECT_EQ(common.FileName, chosen);
}

TEST(QtDialogs, QtsOwnButtonsAndFileDialogSpeakTheUsersLanguage)
{
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + u"/qtbase_zh_CN.qm"_s))
        GTEST_SKIP() << "Qt's Chinese catalog is not installed (qt6-translations-l10n)";
    struct Case {
        Language language;
        bool loaded;
        QString texts;  // OK, Cancel, the file dialog's "Look in"
    };
    const Case cases[] = {
        {Language::English, false, u"OK|Cancel|Look in:"_s},
        {Language::Chinese, true, u"确定|取消|查找范围："_s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(install_qt_translation(*qApp, c.language), c.loaded);
        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QFileDialog dialog;
        QtCommonDialog().prepare(dialog);
        EXPECT_EQ(buttons.button(QDialogButtonBox::Ok)->text() + u'|'
                + buttons.button(QDialogButtonBox::Cancel)->text() + u'|'
                + dialog.findChild<QLabel*>(u"lookInLabel"_s)->text(),
            c.texts);
        qDeleteAll(qApp->findChildren<QTranslator*>());  // the other tests expect Qt's English
    }
}

}  // namespace
}  // namespace charlib::testing
