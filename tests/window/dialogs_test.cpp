#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <functional>

#include "window_support.h"

namespace charlib::testing {
namespace {

// Answers the modal dialog once its event loop runs.
template <class Modal> void whenShown(std::function<void(Modal*)> answer)
{
    QTimer::singleShot(0, [answer] {
        auto* modal = qobject_cast<Modal*>(QApplication::activeModalWidget());
        if (modal)
            answer(modal);
        else
            ADD_FAILURE() << "no modal dialog came up";
    });
}

TEST(QtMessageBoxes, ShowTitleAndPromptLinesWithOnlyOk)
{
    bool shown = false;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        shown = true;
        EXPECT_EQ(box->windowTitle(), QStringLiteral("错勒"));
        EXPECT_EQ(box->text(), QStringLiteral("一\n二\n<b>&三"));
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->buttons().size(), 1);
        box->button(QMessageBox::Ok)->click();
    });
    QtMessageBoxes().MsgBox(nullptr, QStringLiteral("一\r二\r\n<b>&三"), QStringLiteral("错勒"));
    EXPECT_TRUE(shown);
}

TEST(QtCommonDialog, OffersTheTwoFiltersAndReportsTheChoice)
{
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("选 中"));  // no extension
    QFile(chosen).open(QIODevice::WriteOnly);
    QtCommonDialog common;
    common.Filter = QStringLiteral("Text (*.txt)|*.txt|All file (*.*)|*.*");

    whenShown<QFileDialog>([&](QFileDialog* dialog) {
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        ASSERT_EQ(types->count(), 2);
        EXPECT_EQ(types->itemText(0), QStringLiteral("Text (*.txt)"));
        EXPECT_EQ(types->itemText(1), QStringLiteral("All file (*.*)"));
        EXPECT_EQ(types->currentIndex(), 0);
        dialog->setDirectory(dir.path());
        dialog->selectNameFilter(dialog->nameFilters().at(1));
        dialog->selectFile(chosen);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
    });
    EXPECT_TRUE(common.ShowOpen(nullptr));
    EXPECT_EQ(common.FileName, chosen) << "\"*.*\" takes files without a dot too";

    whenShown<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->directory().absolutePath(), QDir(dir.path()).absolutePath());
        dialog->reject();
    });
    EXPECT_FALSE(common.ShowOpen(nullptr));
    EXPECT_EQ(common.FileName, chosen);
}

}  // namespace
}  // namespace charlib::testing
