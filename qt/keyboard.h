// SPDX-License-Identifier: GPL-3.0-or-later
// The window from the keyboard: Tab and Shift+Tab through the controls in
// the window's tab order, Space and Enter as a click on the focused one,
// the controls' key combinations (Ctrl+Q), and the ring around the focused
// control (focus_ring.h).
//
// Labels and images are painted by their container, so they cannot hold
// Qt's focus themselves: their container widget holds it, and this class
// remembers which of its labels or images is the focused one.
#pragma once

#include <QObject>
#include <functional>

#include "qt/focus_ring.h"
#include "ui/control.h"
#include "ui/keyboard.h"

class QKeyEvent;
class QWidget;

namespace qt {

class ControlViews;

// A Qt key as the window's rules know it (ui::KeyPress).
ui::KeyPress keyPress(const QKeyEvent* e);
// What the key does to a focused control of that kind (ui::keyAction).
inline ui::KeyAction keyAction(const QKeyEvent* e, ui::Kind focused, bool listOpen = false) {
    return ui::keyAction(keyPress(e), focused, listOpen);
}

class KeyboardFocus : public QObject {
public:
    // `press` is the child's press on a control, as a click: its key
    // combination, or Space and Enter on a focused label or image.
    KeyboardFocus(const ControlViews& views, std::function<void(ui::Control&)> press);
    ~KeyboardFocus() override;

    // The control that has the keyboard focus; nullptr when none has.
    ui::Control* focused() const;
    // The label or image that has the focus inside a container widget.
    ui::Control* lightweightFocusIn(const QWidget* container) const;
    bool isStop(const ui::Control& c) const { return order_.contains(c); }

    // Gives a control the focus: a widget takes Qt's focus, a label or image
    // its container's.
    void focus(ui::Control& c, Qt::FocusReason reason);
    // Tab (next) and Shift+Tab; also Qt's call when the focused widget is
    // hidden or disabled. Returns whether the focus moved.
    bool tab(bool next);
    // A key that reached a container widget: Space and Enter press its
    // focused label or image, as a click does. Returns whether it did.
    bool containerKey(QWidget* container, QKeyEvent* event);
    // A click by the mouse on a control about to run its handler: the
    // control takes the focus, as a push button does.
    void clicked(ui::Control& c);
    // The model changed a control.
    void changed(ui::Control& c, ui::Change change);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool reachable(const ui::Control& c) const;
    QWidget* holder(const ui::Control& c) const;  // the widget that holds Qt's focus for c
    void repairSoon();
    void repair();
    RingPlace ringPlace() const;

    const ControlViews& views_;
    std::function<void(ui::Control&)> press_;
    ui::TabOrder order_;
    ui::Control* lightweight_ = nullptr;  // the label or image last given the focus
    ui::Control* lost_ = nullptr;         // the control whose focus is being repaired
    bool repairQueued_ = false;
    FocusRing ring_;
};

}  // namespace qt
