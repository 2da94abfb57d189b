// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/keyboard.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFocusFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QRegion>
#include <QTimer>
#include <utility>

#include "qt/control_views.h"
#include "qt/painting.h"
#include "qt/widgets.h"
#include "ui/control_table.h"

namespace qt {

ui::KeyPress keyPress(const QKeyEvent* e) {
    ui::KeyPress k;
    const Qt::KeyboardModifiers m = e->modifiers();
    k.shift = m.testFlag(Qt::ShiftModifier);
    k.ctrl = m.testFlag(Qt::ControlModifier);
    k.alt = m.testFlag(Qt::AltModifier);
    k.other = m.testAnyFlags(Qt::MetaModifier | Qt::GroupSwitchModifier);
    switch (const int key = e->key()) {
    case Qt::Key_Space: k.key = ui::Key::Space; break;
    case Qt::Key_Return:
    case Qt::Key_Enter: k.key = ui::Key::Enter; break;
    case Qt::Key_Backtab: k.shift = true; [[fallthrough]];
    case Qt::Key_Tab: k.key = ui::Key::Tab; break;
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R: k.key = ui::Key::Modifier; break;
    default:
        if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
            k.key = ui::Key::Letter;
            k.letter = static_cast<char>(key);
        }
    }
    return k;
}

// The ring (ui::ringBands), over whatever lies around the control. A
// QFocusFrame, so that screen readers never meet it among the widgets of a
// container (Qt leaves focus frames out).
class KeyboardFocus::Ring final : public QFocusFrame {
public:
    explicit Ring(QWidget* parent) : QFocusFrame(parent) {}
    void around(QWidget* parent, const ui::PixelBox& box) {
        if (parentWidget() != parent) setParent(parent);
        const ui::PixelBox o = ui::ringOuter(box);
        setGeometry(o.x, o.y, o.width, o.height);
        QRegion bands;
        for (const ui::PixelBox& b : ui::ringBands(box)) bands += QRect(b.x - o.x, b.y - o.y, b.width, b.height);
        setMask(bands);
        raise();
        show();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), toQColor(ui::kFocusRing, this));
    }
};

KeyboardFocus::KeyboardFocus(const ControlViews& views, std::function<void(ui::Control&)> press)
    : views_(views), press_(std::move(press)), rules_(views.controls(), *this) {
    // Only the tab order gives the focus; the close button never takes it.
    for (auto& c : views_.controls().all())
        if (QWidget* w = views_.ownFor(c->name()); w && w != &views_.window() && !rules_.isStop(*c))
            w->setFocusPolicy(Qt::NoFocus);
    qApp->installEventFilter(this);
    QObject::connect(qApp, &QApplication::focusChanged, this, [this] { rules_.toolkitFocusMoved(); });
    rules_.focusFirst();
}

KeyboardFocus::~KeyboardFocus() { qApp->removeEventFilter(this); }

ui::Control* KeyboardFocus::toolkitFocus() const {
    const QWidget* w = QApplication::focusWidget();
    if (!w || w->window() != &views_.window()) return nullptr;
    for (; w; w = w->parentWidget())
        if (ui::Control* c = views_.control(w->objectName().toStdString()); c && views_.ownFor(c->name()) == w)
            return c;
    return views_.control(views_.formName());
}

bool KeyboardFocus::hasWidget(const ui::Control& c) const { return views_.ownFor(c.name()) != nullptr; }

ui::Control* KeyboardFocus::lightweightFocusIn(const QWidget* container) const {
    const ui::Control* c = container ? views_.control(container->objectName().toStdString()) : nullptr;
    if (container == &views_.window()) c = views_.control(views_.formName());
    return c ? rules_.lightweightFocusIn(*c) : nullptr;
}

void KeyboardFocus::giveFocus(ui::Control& c, ui::FocusCause cause) {
    static constexpr Qt::FocusReason kReason[] = {Qt::TabFocusReason, Qt::BacktabFocusReason, Qt::MouseFocusReason,
                                                  Qt::OtherFocusReason};
    views_.ownFor(c.name())->setFocus(kReason[static_cast<int>(cause)]);
}

// Qt sees no change: the accessibility layer names the container's focused label.
void KeyboardFocus::focusMovedInside(ui::Control& container) {
    QAccessibleEvent event(views_.ownFor(container.name()), QAccessible::Focus);
    QAccessible::updateAccessibility(&event);
}

bool KeyboardFocus::tab(bool next) {
    const QWidget* fw = QApplication::focusWidget();
    if (fw && (fw->isHidden() || !fw->isEnabled())) {
        rules_.toolkitFocusLeaving();
        return true;
    }
    return rules_.tab(next);
}

void KeyboardFocus::queueRepair() {
    QTimer::singleShot(0, this, [this] { rules_.repair(); });
}

ui::PixelBox KeyboardFocus::ringBox(const ui::Control& c) const {
    const QWidget* w = views_.ownFor(c.name());
    const QRect r = w ? w->geometry() : pixelRect(c);
    return {r.x(), r.y(), r.width(), r.height()};
}

void KeyboardFocus::ringMoved(const ui::RingPlace&, const ui::RingPlace& to) {
    QWidget* in = to.shown() ? views_.ownFor(to.container) : nullptr;
    if (!in) {
        if (ring_) ring_->hide();
        return;
    }
    if (!ring_) ring_ = new Ring(in);
    ring_->around(in, to.around);
}

bool KeyboardFocus::listOpen(const ui::Control& list) const {
    auto* box = qobject_cast<QComboBox*>(views_.ownFor(list.name()));
    return box && box->view()->isVisible();
}

void KeyboardFocus::showList(ui::Control& list, bool open) {
    if (auto* box = qobject_cast<QComboBox*>(views_.ownFor(list.name())))
        open ? box->showPopup() : box->hidePopup();
}

void KeyboardFocus::pickCurrentEntry(ui::Control& list) {
    if (auto* box = dynamic_cast<ListBox*>(views_.ownFor(list.name()))) box->pickCurrent();
}

// Every key and mouse press of the program passes here: a key shows the
// ring, a mouse button hides it. The focused widget's keys come here first
// and go by the window's rules.
bool KeyboardFocus::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type t = event->type();
    if (t == QEvent::KeyPress) {
        const ui::KeyPress key = keyPress(static_cast<QKeyEvent*>(event));
        auto* w = qobject_cast<QWidget*>(watched);
        const QWidget* fw = QApplication::focusWidget();
        if (w && w->window() == &views_.window() && (w == fw || (!fw && w == &views_.window())))
            return rules_.key(key);
        rules_.keyElsewhere(key);
    } else if (t == QEvent::MouseButtonPress && rules_.pointerPressed()) {
        // Qt's styles draw focus marks after Tab too: they go with the ring.
        QWidget& window = views_.window();
        if (window.testAttribute(Qt::WA_KeyboardFocusChange)) {
            window.setAttribute(Qt::WA_KeyboardFocusChange, false);
            if (QWidget* focus = QApplication::focusWidget()) focus->update();
        }
    }
    return false;
}

}  // namespace qt
