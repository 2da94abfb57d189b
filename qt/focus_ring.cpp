// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/focus_ring.h"

#include <QApplication>
#include <QFocusFrame>
#include <QPainter>
#include <QRegion>
#include <utility>

#include "qt/painting.h"
#include "ui/control_table.h"

namespace qt {

// Round the control (ui::kFocusRingGap, ui::kFocusRingWidth), over
// whatever lies around it. A QFocusFrame, so that screen readers never meet it among the
// widgets of a container (Qt leaves focus frames out).
class FocusRing::Frame final : public QFocusFrame {
public:
    static constexpr int kGap = ui::kFocusRingGap, kWidth = ui::kFocusRingWidth;
    explicit Frame(QWidget* parent) : QFocusFrame(parent) {}
    void around(QWidget* parent, QRect r) {
        if (parentWidget() != parent) setParent(parent);
        const QRect outer = r.adjusted(-kGap - kWidth, -kGap - kWidth, kGap + kWidth, kGap + kWidth);
        setGeometry(outer);
        const QRect local = outer.translated(-outer.topLeft());
        setMask(QRegion(local).subtracted(QRegion(local.adjusted(kWidth, kWidth, -kWidth, -kWidth))));
        raise();
        show();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), toQColor(ui::kFocusRing, this));
    }
};

FocusRing::FocusRing(QWidget& window, std::function<RingPlace()> where) : window_(window), where_(std::move(where)) {}

void FocusRing::keyPressed(const ui::KeyPress& key) {
    if (shown_.keyPressed(key)) place();
}

void FocusRing::mousePressed() {
    if (!shown_.pointerPressed()) return;
    place();
    if (window_.testAttribute(Qt::WA_KeyboardFocusChange)) {
        window_.setAttribute(Qt::WA_KeyboardFocusChange, false);
        if (QWidget* w = QApplication::focusWidget()) w->update();
    }
}

void FocusRing::place() {
    const RingPlace at = shown_.shown() ? where_() : RingPlace{};
    if (!at.in) {
        if (frame_) frame_->hide();
        return;
    }
    if (!frame_) frame_ = new Frame(at.in);
    frame_->around(at.in, at.around);
}

}  // namespace qt
