#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace charlib {

// The open-file dialog as the window uses it: set Filter, call ShowOpen,
// then read FileName.
class CommonDialog : public QObject {
    Q_OBJECT

public:
    // Pairs of description and pattern, all separated by '|', as in
    // "Text (*.txt)|*.txt"; the first pair is in force when the dialog opens.
    QString Filter;
    // The file last chosen; a cancel leaves it as it was.
    QString FileName;

    // Shows the dialog over `owner` and waits; true when a file was chosen.
    virtual bool ShowOpen(QWidget* owner) = 0;
};

// Backed by Qt's own file dialog.
class QtCommonDialog : public CommonDialog {
    Q_OBJECT

public:
    bool ShowOpen(QWidget* owner) override;
    // Sets up the filters and the start folder; apart for tests.
    void prepare(QFileDialog& dialog) const;
};

// Qt name filters for a Filter text. Each keeps its description as the
// visible name; "*.*" means every file, with or without a dot, as on Windows.
QStringList qtNameFilters(const QString& filter);

}  // namespace charlib
