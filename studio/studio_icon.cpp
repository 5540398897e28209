#include "studio/studio_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace charlib::studio {

QPixmap studioIconPicture(int size)
{
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);  // drawn on a 32 x 32 grid

    QPainterPath tile;
    tile.addRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0x8b));
    p.drawPath(tile);

    // The atlas page: a grid of cells, the lower right one lit.
    p.setClipPath(tile);
    p.setBrush(QColor(0xf5, 0xa6, 0x23));
    p.drawRect(QRectF(23, 23, 8, 8));
    p.setPen(QPen(QColor(0xff, 0xff, 0xff, 0x48), 0.8));
    for (double at : {9.0, 16.0, 23.0}) {
        p.drawLine(QPointF(at, 0), QPointF(at, 32));
        p.drawLine(QPointF(0, at), QPointF(32, at));
    }
    p.setClipping(false);

    // 字 in strokes rather than from a font, so that every build draws the same icon.
    QPainterPath glyph;
    glyph.moveTo(16, 4.2);  // the dot
    glyph.lineTo(16.8, 6.6);
    glyph.moveTo(7, 11.2);  // the roof
    glyph.lineTo(7, 8.4);
    glyph.lineTo(25, 8.4);
    glyph.lineTo(24, 11.2);
    glyph.moveTo(10, 13.6);  // 子: the turning stroke,
    glyph.lineTo(21.8, 13.6);
    glyph.lineTo(16.4, 17.4);
    glyph.moveTo(16.2, 17.2);  // the hooked upright,
    glyph.lineTo(16.2, 26.4);
    glyph.quadTo(16.2, 28, 13.4, 26.6);
    glyph.moveTo(6, 20.4);  // and the crossing stroke
    glyph.lineTo(26, 20.4);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(glyph);
    p.end();
    return picture;
}

QIcon studioIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addPixmap(studioIconPicture(size));
    return icon;
}

}  // namespace charlib::studio
