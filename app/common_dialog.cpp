#include "app/common_dialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace charlib {

QStringList qtNameFilters(const QString& filter)
{
    QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        }
        // Qt takes the patterns from the last parentheses and, with
        // HideNameFilterDetails, shows only what comes before them.
        result << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return result;
}

void QtCommonDialog::prepare(QFileDialog& dialog) const
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowTitle(QStringLiteral("打开"));
    QStringList filters = qtNameFilters(Filter);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.first());
    // Open where the last file was chosen, as the Windows dialog does.
    if (!FileName.isEmpty()) dialog.setDirectory(QFileInfo(FileName).absolutePath());
}

bool QtCommonDialog::ShowOpen(QWidget* owner)
{
    QFileDialog dialog(owner);
    prepare(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    FileName = dialog.selectedFiles().first();
    return true;
}

}  // namespace charlib
