// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/keyboard.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QShortcut>
#include <QTimer>
#include <utility>

#include "ui/control_table.h"
#include "qt/control_views.h"
#include "qt/text.h"
#include "ui/placement.h"

namespace qt {

namespace {

bool isLightweight(const ui::Control& c) { return ui::isLightweight(c.kind()); }

}  // namespace

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

KeyboardFocus::KeyboardFocus(const ControlViews& views, std::function<void(ui::Control&)> press)
    : views_(views), press_(std::move(press)), order_(views.controls(), ui::tabOrder()),
      ring_(views.window(), [this] { return ringPlace(); }) {
    QWidget& window = views_.window();
    for (auto& c : views_.controls().all()) {
        ui::Control* control = c.get();
        // A key combination acts as a click: the same road to the handler.
        if (!control->design().shortcut.empty())
            QObject::connect(new QShortcut(QKeySequence(qstr(control->design().shortcut)), &window),
                             &QShortcut::activated, &window, [this, control] { press_(*control); });
        // Only the tab order gives the focus; the close button never takes
        // it, so no key presses it.
        if (QWidget* w = views_.widgetFor(control->name()); w && w != &window && !order_.contains(*control))
            w->setFocusPolicy(Qt::NoFocus);
    }
    qApp->installEventFilter(this);
    QObject::connect(qApp, &QApplication::focusChanged, this, [this] { ring_.place(); });
    if (ui::Control* first = views_.controls().find(ui::kFirstFocus)) focus(*first, Qt::OtherFocusReason);
}

KeyboardFocus::~KeyboardFocus() { qApp->removeEventFilter(this); }

QWidget* KeyboardFocus::holder(const ui::Control& c) const {
    return views_.widgetFor(isLightweight(c) ? c.design().container : c.name());
}

ui::Control* KeyboardFocus::focused() const {
    const QWidget* w = QApplication::focusWidget();
    if (!w || w->window() != &views_.window()) return nullptr;
    if (lightweight_ && holder(*lightweight_) == w) return lightweight_;
    for (; w && w != &views_.window(); w = w->parentWidget())
        if (ui::Control* c = views_.control(w->objectName().toStdString()); c && views_.widgetFor(c->name()) == w)
            return c;
    return nullptr;
}

ui::Control* KeyboardFocus::lightweightFocusIn(const QWidget* container) const {
    if (!lightweight_ || !container || !container->hasFocus()) return nullptr;
    return holder(*lightweight_) == container ? lightweight_ : nullptr;
}

// What a click reaches, the keyboard reaches: shown and enabled, and in
// front at its centre (a label or image is not covered by another label,
// image or widget).
bool KeyboardFocus::reachable(const ui::Control& c) const {
    return ui::canTakeFocus(views_.controls(), c) && ui::frontmostAtCentre(views_.controls(), c);
}

void KeyboardFocus::focus(ui::Control& c, Qt::FocusReason reason) {
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
        ring_.place();
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
    ui::Control* to = order_.next(focused(), next, [this](const ui::Control& c) { return reachable(c); });
    if (!to) return false;
    focus(*to, next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

bool KeyboardFocus::containerKey(QWidget* container, QKeyEvent* event) {
    ui::Control* c = lightweightFocusIn(container);
    if (!c || keyAction(event, c->kind()) != ui::KeyAction::Press || !reachable(*c)) return false;
    press_(*c);
    return true;
}

void KeyboardFocus::clicked(ui::Control& c) {
    if (order_.contains(c) && reachable(c)) focus(c, Qt::MouseFocusReason);
}

void KeyboardFocus::changed(ui::Control& c, ui::Change change) {
    if (change != ui::Change::Visible && change != ui::Change::Enabled && change != ui::Change::Geometry) return;
    ui::Control* now = focused();
    if (!now) return;
    // The focused control itself, or a frame around it.
    for (const ui::Control* h = now; h; h = h->design().container.empty() ? nullptr : views_.control(h->design().container))
        if (h == &c) {
            if (change == ui::Change::Geometry)
                ring_.place();
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

// The focused control has gone: the tab order tells where the focus goes.
void KeyboardFocus::repair() {
    repairQueued_ = false;
    ui::Control* was = lost_;
    lost_ = nullptr;
    if (!was) return;
    if (ui::Control* to = order_.afterLoss(*was, [this](const ui::Control& c) { return reachable(c); }))
        focus(*to, Qt::OtherFocusReason);
}

// Every key and mouse press of the program passes here: a key shows the
// ring, a mouse button hides it. The focused widget's keys come here first:
// Tab and a closed list's keys go by the window's rules.
bool KeyboardFocus::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type t = event->type();
    if (t == QEvent::KeyPress) {
        const ui::KeyPress key = keyPress(static_cast<QKeyEvent*>(event));
        ring_.keyPressed(key);
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || w != QApplication::focusWidget() || w->window() != &views_.window()) return false;
        auto* box = qobject_cast<QComboBox*>(w);
        const ui::Control* now = focused();
        switch (ui::keyAction(key, box ? ui::Kind::ComboBox : now ? now->kind() : ui::Kind::Form,
                              box && box->view()->isVisible())) {
        case ui::KeyAction::OpenList:
            box->showPopup();
            return true;
        case ui::KeyAction::FocusNext:
        case ui::KeyAction::FocusPrevious:
            tab(!key.shift);
            return true;
        default:
            return false;
        }
    } else if (t == QEvent::MouseButtonPress) {
        ring_.mousePressed();
    }
    return false;
}

RingPlace KeyboardFocus::ringPlace() const {
    ui::Control* c = focused();
    QWidget* w = c ? holder(*c) : nullptr;
    if (!w || !reachable(*c)) return {};
    if (isLightweight(*c)) return {w, pixelRect(*c)};
    return {w->parentWidget(), w->geometry()};
}

}  // namespace qt
