#include "app/picture_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace charlib {

QPixmap yaoLingziPicture(int size)
{
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);  // drawn on a 32 x 32 grid

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xe4, 0xec));
    p.drawRoundedRect(QRectF(0, 0, 32, 32), 6, 6);

    // Hair behind the face, falling to the shoulders.
    p.setBrush(QColor(0x3a, 0x24, 0x1c));
    p.drawEllipse(QRectF(4, 3, 24, 26));
    p.drawRect(QRectF(5, 16, 22, 14));

    p.setBrush(QColor(0xff, 0xdd, 0xc4));
    p.drawEllipse(QRectF(8, 9, 16, 18));

    // Fringe.
    QPainterPath fringe;
    fringe.moveTo(7, 15);
    fringe.cubicTo(8, 5, 24, 5, 25, 15);
    fringe.lineTo(21, 12);
    fringe.lineTo(18, 14);
    fringe.lineTo(15, 11);
    fringe.lineTo(12, 14);
    fringe.closeSubpath();
    p.setBrush(QColor(0x3a, 0x24, 0x1c));
    p.drawPath(fringe);

    // Eyes with a glint.
    p.setBrush(QColor(0x20, 0x20, 0x30));
    p.drawEllipse(QRectF(11.5, 16, 3, 4));
    p.drawEllipse(QRectF(17.5, 16, 3, 4));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(12.3, 16.6, 1.2, 1.2));
    p.drawEllipse(QRectF(18.3, 16.6, 1.2, 1.2));

    p.setBrush(QColor(0xff, 0x99, 0xaa, 0xb0));
    p.drawEllipse(QRectF(9.5, 20, 3, 2));
    p.drawEllipse(QRectF(19.5, 20, 3, 2));

    p.setPen(QPen(QColor(0xc0, 0x40, 0x50), 1.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(14, 20.5, 4, 3), 200 * 16, 140 * 16);

    // The bell in her hair, on a red ribbon.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd0, 0x20, 0x30));
    p.drawRect(QRectF(23, 6.5, 5, 1.6));
    p.setPen(QPen(QColor(0x9a, 0x70, 0x00), 0.8));
    p.setBrush(QColor(0xff, 0xcc, 0x20));
    p.drawEllipse(QRectF(23, 7.5, 6, 6));
    p.setPen(QPen(QColor(0x6a, 0x4a, 0x00), 1.0));
    p.drawLine(QPointF(26, 11), QPointF(26, 13));
    p.end();
    return picture;
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) emit doubleClicked();
    QLabel::mouseDoubleClickEvent(event);
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    // Around the part that shows: the window clips the box at its right edge.
    const QRect frame = visibleRegion().boundingRect().adjusted(0, 0, -1, -1);
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    painter.drawRect(frame);
}

}  // namespace charlib
