#pragma once

#include <QString>

class QWidget;

namespace charlib {

// Where the window's messages go: modal boxes for the user, a record in tests.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A modal box with the prompt, the title and a single OK button; returns
    // when it is closed. A carriage return in the prompt starts a new line.
    virtual void MsgBox(QWidget* owner, const QString& prompt, const QString& title) = 0;
};

class QtMessageBoxes : public MessageBoxes {
public:
    void MsgBox(QWidget* owner, const QString& prompt, const QString& title) override;
};

// The prompt as a Qt label shows it: CR and CR LF become line feeds.
QString promptLines(QString prompt);

}  // namespace charlib
