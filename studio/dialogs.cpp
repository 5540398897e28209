#include "studio/dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "messages/catalog.h"
#include "messages/language.h"

namespace charlib::studio {

namespace {

QString said(std::string_view english)
{
    return QString::fromStdString(std::string(translate(user_language(), english)));
}

}  // namespace

QString QtStudioDialogs::openProject(QWidget* owner, const QString& folder)
{
    return QFileDialog::getOpenFileName(owner, said("Open a project"), folder,
        said("Charlib projects (*.toml)") + QStringLiteral(";;") + said("All files (*)"));
}

QString QtStudioDialogs::saveProjectAs(QWidget* owner, const QString& suggested)
{
    return QFileDialog::getSaveFileName(owner, said("Save the project as"), suggested,
        said("Charlib projects (*.toml)"));
}

QStringList QtStudioDialogs::sourceFiles(QWidget* owner, const QString& folder)
{
    return QFileDialog::getOpenFileNames(owner, said("Add sources"), folder);
}

QString QtStudioDialogs::sourceFolder(QWidget* owner, const QString& folder)
{
    return QFileDialog::getExistingDirectory(owner, said("Add a folder of sources"), folder);
}

QString QtStudioDialogs::path(QWidget* owner, const QString& title, const QString& start, PathKind kind)
{
    switch (kind) {
    case PathKind::OpenFile:
        return QFileDialog::getOpenFileName(owner, title, start);
    case PathKind::SaveFile:
        return QFileDialog::getSaveFileName(owner, title, start, {}, nullptr, QFileDialog::DontConfirmOverwrite);
    case PathKind::Folder:
        return QFileDialog::getExistingDirectory(owner, title, start);
    }
    return {};
}

QString QtStudioDialogs::text(QWidget* owner, const QString& title, const QString& label, const QString& value)
{
    bool accepted = false;
    const QString given = QInputDialog::getText(owner, title, label, QLineEdit::Normal, value, &accepted);
    return accepted ? given : QString();
}

StudioDialogs::Unsaved QtStudioDialogs::askUnsaved(QWidget* owner, const QString& question)
{
    const QMessageBox::StandardButton answer = QMessageBox::question(owner, said("Charlib Studio"), question,
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    return answer == QMessageBox::Save ? Unsaved::Save : answer == QMessageBox::Discard ? Unsaved::Discard : Unsaved::Cancel;
}

void QtStudioDialogs::showError(QWidget* owner, const QString& text)
{
    QMessageBox::warning(owner, said("Charlib Studio"), text);
}

}  // namespace charlib::studio
