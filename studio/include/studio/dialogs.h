#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace charlib::studio {

// What the studio asks the user in a dialog: real dialogs for the user, answers
// from a script in the tests.
class StudioDialogs {
public:
    enum class Unsaved { Save, Discard, Cancel };
    enum class PathKind { OpenFile, SaveFile, Folder };

    virtual ~StudioDialogs() = default;
    // Each returns an empty value when the user cancels.
    virtual QString openProject(QWidget* owner, const QString& folder) = 0;
    virtual QString saveProjectAs(QWidget* owner, const QString& suggested) = 0;
    virtual QStringList sourceFiles(QWidget* owner, const QString& folder) = 0;
    virtual QString sourceFolder(QWidget* owner, const QString& folder) = 0;
    virtual QString path(QWidget* owner, const QString& title, const QString& start, PathKind kind) = 0;
    virtual QString text(QWidget* owner, const QString& title, const QString& label, const QString& value) = 0;
    virtual Unsaved askUnsaved(QWidget* owner, const QString& question) = 0;
    virtual void showError(QWidget* owner, const QString& text) = 0;
};

class QtStudioDialogs : public StudioDialogs {
public:
    QString openProject(QWidget* owner, const QString& folder) override;
    QString saveProjectAs(QWidget* owner, const QString& suggested) override;
    QStringList sourceFiles(QWidget* owner, const QString& folder) override;
    QString sourceFolder(QWidget* owner, const QString& folder) override;
    QString path(QWidget* owner, const QString& title, const QString& start, PathKind kind) override;
    QString text(QWidget* owner, const QString& title, const QString& label, const QString& value) override;
    Unsaved askUnsaved(QWidget* owner, const QString& question) override;
    void showError(QWidget* owner, const QString& text) override;
};

}  // namespace charlib::studio
