#include "ui/qt/widgets.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "ui/qt/form_view.h"

namespace ui::qt {

void FrameWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    view_->paintContainer(name_, p, this);
}

void FrameWidget::mousePressEvent(QMouseEvent* e) {
    e->accept();  // a frame swallows its clicks: the window never sees them
    if (e->button() == Qt::LeftButton) view_->containerPressed(name_, e->position().toPoint());
}

void FrameWidget::mouseReleaseEvent(QMouseEvent* e) {
    e->accept();
    if (e->button() == Qt::LeftButton) view_->containerReleased(name_, e->position().toPoint());
}

void FrameWidget::mouseDoubleClickEvent(QMouseEvent* e) {
    e->accept();
    if (e->button() == Qt::LeftButton) view_->containerDoubleClicked(name_);
}

void PictureWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), back_);
    if (!pixmap_.isNull())
        p.drawPixmap((width() - pixmap_.width()) / 2, (height() - pixmap_.height()) / 2, pixmap_);
}

void PictureWidget::mousePressEvent(QMouseEvent* e) {
    e->accept();
    pressed_ = e->button() == Qt::LeftButton;
}

void PictureWidget::mouseReleaseEvent(QMouseEvent* e) {
    e->accept();
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    if (click && clicked_) clicked_();
}

void PictureWidget::mouseDoubleClickEvent(QMouseEvent* e) {
    e->accept();
    pressed_ = false;
}

void FlatButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, face_);
    // A one-pixel raised edge that sinks while the button is held down.
    const bool down = isDown();
    const QColor light = face_.lighter(140), dark = face_.darker(200);
    p.setPen(down ? dark : light);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(down ? light : dark);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    p.setFont(font());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(down ? r.translated(1, 1) : r, Qt::AlignCenter, text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r.adjusted(4, 4, -4, -4);
        focus.backgroundColor = face_;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

void ListBox::keyPressEvent(QKeyEvent* e) {
    const int before = selectedRow();
    QListWidget::keyPressEvent(e);
    const int after = selectedRow();
    if (after >= 0 && after != before) picked_(after);
}

void ListBox::mousePressEvent(QMouseEvent* e) {
    rowAtPress_ = selectedRow();
    pressed_ = e->button() == Qt::LeftButton;
    QListWidget::mousePressEvent(e);
}

void ListBox::mouseReleaseEvent(QMouseEvent* e) {
    QListWidget::mouseReleaseEvent(e);
    if (!pressed_ || e->button() != Qt::LeftButton) return;
    pressed_ = false;
    const QModelIndex under = indexAt(e->position().toPoint());
    const int now = selectedRow();
    if (under.isValid() && under.row() == now)
        picked_(now);
    else if (now >= 0 && now != rowAtPress_)
        picked_(now);
}

}  // namespace ui::qt
