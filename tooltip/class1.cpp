#include "tooltip/class1.h"

#include "tooltip/balloon_tip.h"

namespace charlib {

void Class1::Create()
{
    delete balloon_.data();
    if (!control_) return;
    balloon_ = new BalloonTip(control_);
    balloon_->setTitle(title_);
    balloon_->setText(text_);
}

void Class1::ParentControl(QWidget* control)
{
    control_ = control;
}

void Class1::ToolTipTitle(const QString& title)
{
    title_ = title;
    if (balloon_) balloon_->setTitle(title);
}

void Class1::ToolTipText(const QString& text)
{
    text_ = text;
    if (balloon_) balloon_->setText(text);
}

}  // namespace charlib
