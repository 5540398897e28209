#pragma once

#include <QPointer>
#include <QString>

class QWidget;

namespace charlib {

class BalloonTip;

// Attaches a balloon tooltip, with an optional bold title, to one control.
// Set up in the order ParentControl, ToolTipTitle, ToolTipText, Create. The
// balloon belongs to the control: it lives on after this object is dropped
// and ends with the control. Nothing can be read back.
class Class1 {
public:
    // Builds the balloon for the current control; a second call replaces the
    // first balloon instead of adding another.
    void Create();

    void ParentControl(QWidget* control);
    // Before Create these are only stored; after it they update the balloon.
    void ToolTipTitle(const QString& title);
    void ToolTipText(const QString& text);

private:
    QPointer<QWidget> control_;
    QPointer<BalloonTip> balloon_;
    QString title_;
    QString text_;
};

}  // namespace charlib
