#pragma once

#include <QLabel>
#include <QPixmap>

namespace charlib {

// Yao Lingzi's head, 32 x 32: the picture box's picture and the window icon.
QPixmap yaoLingziPicture();

// A picture box that reports double-clicks and, in the tab cycle, shows a
// focus frame.
class PictureBox : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace charlib
