#include "app/message_boxes.h"

#include <QMessageBox>

namespace charlib {

QString promptLines(QString prompt)
{
    prompt.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    prompt.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return prompt;
}

void QtMessageBoxes::MsgBox(QWidget* owner, const QString& prompt, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title, promptLines(prompt), QMessageBox::Ok, owner);
    // Paths in prompts may hold '<' or '&'; they are text, not markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace charlib
