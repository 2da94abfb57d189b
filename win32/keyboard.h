// SPDX-License-Identifier: GPL-3.0-or-later
// The window from the keyboard: Tab and Shift+Tab through the controls in
// the window's tab order, Space and Enter as a click on the focused one,
// the controls' key combinations (Ctrl+Q), and the ring round the focused
// control, which shows for keys only. Every stop of the tab order is a
// child window, so Windows' own focus is the focus.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/control.h"
#include "ui/keyboard.h"

namespace win32 {

class ControlViews;

class KeyboardFocus {
public:
    // press: the child's press on a control, as a click (a key combination,
    // or Space and Enter on a focused button).
    KeyboardFocus(ControlViews& views, std::function<void(ui::Control&)> press);

    // The control whose window has the focus; nullptr when none has.
    ui::Control* focused() const;
    bool isStop(const ui::Control& c) const { return order_.contains(c); }
    // What a click reaches, the keyboard reaches: shown and enabled, inside
    // shown frames, and in front at its centre (ui::frontmostAtCentre).
    bool reachable(const ui::Control& c) const;
    void focus(ui::Control& c);

    // A key or mouse message before it is dispatched; true when it was
    // used up here (Tab, Space and Enter on a button, a key combination).
    bool message(const MSG& m);
    // The window focus moved (a child or the form got it).
    void focusMoved() { placeRing(); }
    // The model changed a control; before: the control focused before the
    // change was shown.
    void changed(ui::Change change, ui::Control* before);
    // Posted after a change that took the focus away: the tab order tells
    // where it goes, once the handler that hid the control has run.
    void repair();

    // The ring's rectangle in a container's pixels (the focused control's
    // rectangle); nullptr when the ring is not in that container.
    const RECT* ringIn(const std::string& container) const;

    // The message the form window gets when the focus needs repair.
    static constexpr UINT kRepairMessage = WM_APP + 1;

private:
    bool tab(bool forward);
    // Carries out a key's action on the focused control.
    bool press(ui::Control& c, ui::KeyAction action);
    void placeRing();

    ControlViews& views_;
    std::function<void(ui::Control&)> press_;
    ui::TabOrder order_;
    ui::RingShown shown_;
    std::string ringContainer_;
    RECT ring_{};
    ui::Control* lost_ = nullptr;
};

}  // namespace win32
