// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/keyboard.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFocusFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QRegion>
#include <QShortcut>
#include <QTimer>

#include "ui/control_table.h"
#include "qt/form_view.h"
#include "qt/painting.h"
#include "qt/text.h"

namespace ui::qt {

// The ring: three pixels wide, a pixel clear of the control, over whatever
// lies around it. A QFocusFrame, so that screen readers never meet it
// among the widgets of a container (Qt leaves focus frames out).
class FocusRing final : public QFocusFrame {
public:
    static constexpr int kGap = 1, kWidth = 3;
    explicit FocusRing(QWidget* parent) : QFocusFrame(parent) {}
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
        p.fillRect(rect(), toQColor(kFocusRing, this));
    }
};

namespace {

bool isLightweight(const Control& c) { return ui::isLightweight(c.kind()); }

bool isModifierOnly(int key) {
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta ||
           key == Qt::Key_AltGr || key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_Super_L ||
           key == Qt::Key_Super_R;
}

}  // namespace

bool pressesLikeAClick(const QKeyEvent* e) {
    if (e->modifiers() & ~Qt::KeypadModifier) return false;
    const int k = e->key();
    const Key key = k == Qt::Key_Space ? Key::Space
                    : k == Qt::Key_Return || k == Qt::Key_Enter ? Key::Enter
                                                                : Key::Other;
    return pressesFocused(key);
}

KeyboardFocus::KeyboardFocus(FormView& view) : view_(view), order_(view.controls(), tabOrder()) {
    for (auto& c : view_.controls().all()) {
        Control* control = c.get();
        // A key combination acts as a click: the same road to the handler.
        if (!control->design().shortcut.empty())
            QObject::connect(new QShortcut(QKeySequence(qstr(control->design().shortcut)), &view_),
                             &QShortcut::activated, &view_, [this, control] { view_.activate(*control); });
        // Only the tab order gives the focus; the close button never takes
        // it, so no key presses it.
        if (QWidget* w = view_.widgetFor(control->name()); w && w != &view_ && !order_.contains(*control))
            w->setFocusPolicy(Qt::NoFocus);
    }
    qApp->installEventFilter(this);
    QObject::connect(qApp, &QApplication::focusChanged, this, [this] { placeRing(); });
    if (Control* first = view_.controls().find(kFirstFocus)) focus(*first, Qt::OtherFocusReason);
}

KeyboardFocus::~KeyboardFocus() { qApp->removeEventFilter(this); }

QWidget* KeyboardFocus::holder(const Control& c) const {
    return view_.widgetFor(isLightweight(c) ? c.design().container : c.name());
}

Control* KeyboardFocus::focused() const {
    const QWidget* w = QApplication::focusWidget();
    if (!w || w->window() != &view_) return nullptr;
    if (lightweight_ && holder(*lightweight_) == w) return lightweight_;
    for (; w && w != &view_; w = w->parentWidget())
        if (Control* c = view_.control(w->objectName().toStdString()); c && view_.widgetFor(c->name()) == w)
            return c;
    return nullptr;
}

Control* KeyboardFocus::lightweightFocusIn(const QWidget* container) const {
    if (!lightweight_ || !container || !container->hasFocus()) return nullptr;
    return holder(*lightweight_) == container ? lightweight_ : nullptr;
}

// What a click reaches, the keyboard reaches: shown and enabled, and for a
// label or image, not covered by another label, image or widget.
bool KeyboardFocus::reachable(const Control& c) const {
    if (!canTakeFocus(view_.controls(), c)) return false;
    if (!isLightweight(c)) return true;
    const QPoint centre = view_.pixelRect(c).center();
    if (view_.lightweightAt(c.design().container, centre) != &c) return false;
    QWidget* host = holder(c);
    for (QObject* o : host->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && w != ring_ && w->isVisible() && w->geometry().contains(centre) &&
            view_.control(w->objectName().toStdString()))
            return false;
    }
    return true;
}

void KeyboardFocus::focus(Control& c, Qt::FocusReason reason) {
    QWidget* w = holder(c);
    if (!w) return;
    if (!isLightweight(c)) {
        w->setFocus(reason);
        return;
    }
    lightweight_ = &c;
    if (w->hasFocus()) {
        // Qt sees no change: tell the screen reader and move the ring here.
        // The accessibility layer names the container's focused label.
        QAccessibleEvent event(w, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
        placeRing();
    } else {
        w->setFocus(reason);
    }
}

bool KeyboardFocus::tab(bool next) {
    const QWidget* fw = QApplication::focusWidget();
    if (fw && (fw->isHidden() || !fw->isEnabled())) {
        // Qt moves the focus off a widget being hidden or disabled. The
        // handler that did it may show another at the same place (the
        // loudspeakers): decide once it has run.
        if (!lost_) lost_ = focused();
        repairSoon();
        return true;
    }
    Control* to = order_.next(focused(), next, [this](const Control& c) { return reachable(c); });
    if (!to) return false;
    focus(*to, next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

bool KeyboardFocus::containerKey(QWidget* container, QKeyEvent* event) {
    if (!pressesLikeAClick(event)) return false;
    Control* c = lightweightFocusIn(container);
    if (!c || !reachable(*c)) return false;
    view_.activate(*c);
    return true;
}

void KeyboardFocus::clicked(Control& c) {
    if (order_.contains(c) && reachable(c)) focus(c, Qt::MouseFocusReason);
}

void KeyboardFocus::changed(Control& c, Change change) {
    if (change != Change::Visible && change != Change::Enabled && change != Change::Geometry) return;
    Control* now = focused();
    if (!now) return;
    // The focused control itself, or a frame around it.
    for (const Control* h = now; h; h = h->design().container.empty() ? nullptr : view_.control(h->design().container))
        if (h == &c) {
            if (change == Change::Geometry)
                placeRing();
            else if (!reachable(*now)) {
                lost_ = now;
                repairSoon();
            }
            return;
        }
}

void KeyboardFocus::repairSoon() {
    if (repairQueued_) return;
    repairQueued_ = true;
    QTimer::singleShot(0, this, [this] { repair(); });
}

// The focused control has gone: its stop's other control takes the focus
// (one loudspeaker shown for the other), else the next stop that can.
void KeyboardFocus::repair() {
    repairQueued_ = false;
    Control* was = lost_;
    lost_ = nullptr;
    if (!was) return;
    const auto can = [this](const Control& c) { return reachable(c); };
    if (Control* same = reachable(*was) ? was : order_.atSameStop(*was, can))
        focus(*same, Qt::OtherFocusReason);
    else if (Control* to = order_.next(was, true, can))
        focus(*to, Qt::OtherFocusReason);
}

// A key shows the ring, a mouse button hides it, as a browser's
// focus-visible does; Qt's styles draw their own focus marks only after
// Tab, and those go with a click too.
bool KeyboardFocus::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type t = event->type();
    if (t == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Enter opens a closed list, as Space and a click do.
        if (auto* box = qobject_cast<QComboBox*>(watched);
            box && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->modifiers()) {
            box->showPopup();
            return true;
        }
        if (!keyUsed_ && !isModifierOnly(key->key())) {
            keyUsed_ = true;
            placeRing();
        }
    } else if (t == QEvent::MouseButtonPress && keyUsed_) {
        keyUsed_ = false;
        placeRing();
        if (view_.testAttribute(Qt::WA_KeyboardFocusChange)) {
            view_.setAttribute(Qt::WA_KeyboardFocusChange, false);
            if (QWidget* w = QApplication::focusWidget()) w->update();
        }
    }
    return false;
}

void KeyboardFocus::placeRing() {
    Control* c = keyUsed_ ? focused() : nullptr;
    QWidget* w = c ? holder(*c) : nullptr;
    if (!w || !reachable(*c)) {
        if (ring_) ring_->hide();
        return;
    }
    if (!ring_) ring_ = new FocusRing(w);
    if (isLightweight(*c))
        ring_->around(w, view_.pixelRect(*c));
    else
        ring_->around(w->parentWidget(), w->geometry());
}

}  // namespace ui::qt
