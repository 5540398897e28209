#pragma once

#include <QLabel>
#include <QPixmap>

namespace charlib {

// Yao Lingzi's head, 32 x 32 unless asked: the picture box's picture, the
// window icon and the program's icons.
QPixmap yaoLingziPicture(int size = 32);

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
