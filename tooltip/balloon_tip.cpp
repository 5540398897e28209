#include "tooltip/balloon_tip.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QScreen>

#include <algorithm>

namespace charlib {

namespace {

constexpr int padding = 8;
constexpr int radius = 8;
constexpr int stemHeight = 14;
constexpr int stemWidth = 12;
constexpr int maxTextWidth = 360;
constexpr int stemInset = 24;  // stem distance from the bubble's left edge

QFont titleFont(QFont font)
{
    font.setBold(true);
    return font;
}

QRect textRect(const QFont& font, const QString& text)
{
    return QFontMetrics(font).boundingRect(QRect(0, 0, maxTextWidth, 10000), Qt::TextWordWrap, text);
}

}  // namespace

BalloonTip::BalloonTip(QWidget* control) :
    QWidget(control, Qt::ToolTip | Qt::FramelessWindowHint),
    control_(control)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFont(control->font());
    control->installEventFilter(this);
}

void BalloonTip::setTitle(const QString& title)
{
    title_ = title;
    relayout();
}

void BalloonTip::setText(const QString& text)
{
    text_ = text;
    if (text_.isEmpty()) hide();
    relayout();
}

QSize BalloonTip::bodySize() const
{
    QRect body = textRect(font(), text_);
    int height = body.height();
    int width = body.width();
    if (!title_.isEmpty()) {
        QRect title = textRect(titleFont(font()), title_);
        height += title.height() + padding / 2;
        width = std::max(width, title.width());
    }
    return {std::max(width + 2 * padding, stemInset + stemWidth + radius), height + 2 * padding};
}

QPainterPath BalloonTip::outline() const
{
    QSize body = bodySize();
    int top = stemUp_ ? stemHeight : 0;
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(0.5, top + 0.5, body.width() - 1, body.height() - 1), radius, radius);
    QPainterPath stem;
    if (stemUp_) {
        stem.moveTo(stemX_, 0.5);
        stem.lineTo(stemX_ + stemWidth, top + 1.5);
        stem.lineTo(stemX_, top + 1.5);
    } else {
        qreal bottom = body.height() - 0.5;
        stem.moveTo(stemX_, bottom + stemHeight);
        stem.lineTo(stemX_ + stemWidth, bottom - 1);
        stem.lineTo(stemX_, bottom - 1);
    }
    stem.closeSubpath();
    return bubble.united(stem);
}

void BalloonTip::relayout()
{
    QSize body = bodySize();
    resize(body.width(), body.height() + stemHeight);
    QPainterPathStroker stroker;
    stroker.setWidth(2);
    QPainterPath shape = outline();
    setMask(QRegion(shape.united(stroker.createStroke(shape)).toFillPolygon().toPolygon()));
    if (isVisible()) {
        int y = stemUp_ ? tip_.y() : tip_.y() - height();
        move(tip_.x() - stemX_, y);
        update();
    }
}

void BalloonTip::popUp(QPoint spot)
{
    if (text_.isEmpty()) return;
    QSize body = bodySize();
    int totalHeight = body.height() + stemHeight;
    int x = std::clamp(spot.x(), 0, control_->width() - 1);
    QPoint below = control_->mapToGlobal(QPoint(x, control_->height()));
    QRect screen =
        control_->screen() ? control_->screen()->availableGeometry() : QRect(below, QSize(4096, 4096));
    // Below the control if it fits on the screen, else above it.
    stemUp_ = below.y() + totalHeight <= screen.bottom() + 1;
    tip_ = stemUp_ ? below : control_->mapToGlobal(QPoint(x, 0));
    int left = std::clamp(
        tip_.x() - stemInset, screen.left(), std::max(screen.left(), screen.right() - body.width()));
    stemX_ = std::clamp(tip_.x() - left, radius, body.width() - radius - stemWidth);
    relayout();
    move(tip_.x() - stemX_, stemUp_ ? tip_.y() : tip_.y() - totalHeight);
    show();
    raise();
}

bool BalloonTip::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != control_) return false;
    switch (event->type()) {
    case QEvent::ToolTip:
        // The pointer rests over the control: Qt's own tooltip gives way.
        popUp(static_cast<QHelpEvent*>(event)->pos());
        return true;
    case QEvent::Leave:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::Hide:
    case QEvent::WindowDeactivate: hide(); break;
    default: break;
    }
    return false;
}

void BalloonTip::mousePressEvent(QMouseEvent*)
{
    hide();
}

void BalloonTip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::ToolTipText), 1));
    painter.setBrush(palette().color(QPalette::ToolTipBase));
    painter.drawPath(outline());

    painter.setPen(palette().color(QPalette::ToolTipText));
    int top = (stemUp_ ? stemHeight : 0) + padding;
    int width = bodySize().width() - 2 * padding;
    if (!title_.isEmpty()) {
        painter.setFont(titleFont(font()));
        QRect rect = textRect(painter.font(), title_);
        painter.drawText(QRect(padding, top, width, rect.height()), Qt::TextWordWrap, title_);
        top += rect.height() + padding / 2;
        painter.setFont(font());
    }
    painter.drawText(QRect(padding, top, width, textRect(font(), text_).height()), Qt::TextWordWrap, text_);
}

}  // namespace charlib
