// SPDX-License-Identifier: GPL-3.0-or-later
// The window from the keyboard on Windows: the key and mouse messages for
// the window's focus rules (ui/focus.h), and their calls carried out on the
// child windows. Every stop of the tab order is a child window, so Windows'
// own focus is the focus; the ring is painted in its container's scene.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/control.h"
#include "ui/focus.h"

namespace win32 {

class ControlViews;

class KeyboardFocus : private ui::FocusHost {
public:
    // press: the child's press on a control, as a click.
    KeyboardFocus(ControlViews& views, std::function<void(ui::Control&)> press);

    ui::FocusRules& rules() { return rules_; }
    ui::Control* focused() const { return rules_.focused(); }
    // A key or mouse message before it is dispatched; true when it was
    // used up here (Tab, Space and Enter, a key combination).
    bool message(const MSG& m);
    // The ring's rectangle in a container's pixels (the focused control's
    // rectangle); nullptr when the ring is not in that container.
    const RECT* ringIn(const std::string& container) const;

    // The message the form window gets when the focus needs repair.
    static constexpr UINT kRepairMessage = WM_APP + 1;

private:
    ui::Control* toolkitFocus() const override;
    bool hasWidget(const ui::Control& c) const override;
    void giveFocus(ui::Control& c, ui::FocusCause) override;
    void queueRepair() override;
    ui::PixelBox ringBox(const ui::Control& c) const override;
    void ringMoved(const ui::RingPlace& from, const ui::RingPlace& to) override;
    bool listOpen(const ui::Control& list) const override;
    void showList(ui::Control& list, bool open) override;
    void press(ui::Control& c) override { press_(c); }
    void pickCurrentEntry(ui::Control& list) override;

    ControlViews& views_;
    std::function<void(ui::Control&)> press_;
    ui::FocusRules rules_;
    RECT ring_{};
};

}  // namespace win32
