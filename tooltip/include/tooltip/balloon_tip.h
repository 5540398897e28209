#pragma once

#include <QString>
#include <QWidget>

class QPainterPath;

namespace charlib {

// A balloon (rounded bubble with a stem) that one control shows while the
// pointer rests over it. It is a QObject child of the control, so it ends
// with it, and a pop-up window of its own, so it may reach beyond the form.
class BalloonTip : public QWidget {
    Q_OBJECT

public:
    explicit BalloonTip(QWidget* control);

    QString title() const { return title_; }
    QString text() const { return text_; }
    void setTitle(const QString& title);
    void setText(const QString& text);

    // Shows the balloon with its stem pointing at `spot` on the control's
    // edge (control coordinates); nothing is shown while the text is empty.
    void popUp(QPoint spot);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPainterPath outline() const;
    QSize bodySize() const;
    void relayout();

    QWidget* control_;
    QString title_;
    QString text_;
    bool stemUp_ = true;  // below the control, stem pointing up
    int stemX_ = 0;
    QPoint tip_;  // global point the stem points at
};

}  // namespace charlib
