// The Qt message box and open-file dialog behind the window's interfaces.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

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

}  // namespace
}  // namespace charlib::testing
