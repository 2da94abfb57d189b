// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/keyboard.h"

#include <utility>

#include "ui/control_table.h"
#include "ui/placement.h"
#include "win32/painting.h"
#include "win32/views.h"

namespace win32 {
namespace {

bool down(int key) { return (GetKeyState(key) & 0x8000) != 0; }

bool isModifierOnly(WPARAM key) {
    return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == VK_LWIN || key == VK_RWIN ||
           key == VK_CAPITAL || key == VK_NUMLOCK || key == VK_LSHIFT || key == VK_RSHIFT || key == VK_LCONTROL ||
           key == VK_RCONTROL || key == VK_LMENU || key == VK_RMENU;
}

// "Ctrl+Q": Ctrl with one letter or digit, the only kind the table has.
bool matchesShortcut(const std::string& shortcut, WPARAM key) {
    constexpr std::string_view kCtrl = "Ctrl+";
    if (shortcut.size() != kCtrl.size() + 1 || shortcut.compare(0, kCtrl.size(), kCtrl) != 0) return false;
    return key == static_cast<WPARAM>(shortcut.back()) && down(VK_CONTROL) && !down(VK_MENU) && !down(VK_SHIFT);
}

}  // namespace

KeyboardFocus::KeyboardFocus(ControlViews& views, std::function<void(ui::Control&)> press)
    : views_(views), press_(std::move(press)), order_(views.controls(), ui::tabOrder()) {}

ui::Control* KeyboardFocus::focused() const {
    for (HWND w = GetFocus(); w && w != views_.form(); w = GetParent(w))
        if (ControlView* v = views_.byWindow(w)) return v->control;
    return nullptr;
}

bool KeyboardFocus::reachable(const ui::Control& c) const {
    if (!ui::canTakeFocus(views_.controls(), c)) return false;
    const ControlView* v = views_.find(c.name());
    return v && v->window && ui::frontmostAtCentre(views_.controls(), c);
}

void KeyboardFocus::focus(ui::Control& c) {
    if (const ControlView* v = views_.find(c.name()); v && v->window) SetFocus(v->window);
    placeRing();
}

bool KeyboardFocus::tab(bool forward) {
    ui::Control* to = order_.next(focused(), forward, [this](const ui::Control& c) { return reachable(c); });
    if (to) focus(*to);
    return true;
}

bool KeyboardFocus::pressKey(ui::Control& c) {
    const ControlView* v = views_.find(c.name());
    if (!v || !v->window) return false;
    switch (c.kind()) {
    case ui::Kind::ComboBox:
        // Space and Enter open a closed list, as a click does; in the open
        // list Enter picks, as the list box's own keys do.
        if (SendMessageW(v->window, CB_GETDROPPEDSTATE, 0, 0)) return false;
        SendMessageW(v->window, CB_SHOWDROPDOWN, TRUE, 0);
        return true;
    case ui::Kind::ListBox: {
        // Space and Enter pick the entry at the caret, as a click on it does
        // (also the entry already selected).
        const auto row = static_cast<int>(SendMessageW(v->window, LB_GETCARETINDEX, 0, 0));
        if (row >= 0 && row < c.itemCount()) {
            SendMessageW(v->window, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
            c.setSelectedIndex(row);
            press_(c);
        }
        return true;
    }
    default:
        // A button out of the tab order (the close button, after a click
        // that did not end on it) takes no key: no key ends the lesson.
        if (isStop(c) && reachable(c)) press_(c);
        return true;
    }
}

bool KeyboardFocus::message(const MSG& m) {
    switch (m.message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
        if (shown_) {
            shown_ = false;
            placeRing();
        }
        return false;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        break;
    default:
        return false;
    }
    const WPARAM key = m.wParam;
    if (!isModifierOnly(key) && !shown_) {
        shown_ = true;
        placeRing();
    }
    if (m.message == WM_SYSKEYDOWN) return false;
    for (auto& c : views_.controls().all())
        if (!c->design().shortcut.empty() && matchesShortcut(c->design().shortcut, key)) {
            press_(*c);
            return true;
        }
    const bool plain = !down(VK_CONTROL) && !down(VK_MENU);
    if (key == VK_TAB && plain) {
        if (ui::Control* now = focused(); now && now->kind() == ui::Kind::ComboBox)
            SendMessageW(views_.find(now->name())->window, CB_SHOWDROPDOWN, FALSE, 0);
        return tab(!down(VK_SHIFT));
    }
    if ((key == VK_SPACE || key == VK_RETURN) && plain && !down(VK_SHIFT)) {
        if (ui::Control* now = focused()) return pressKey(*now);
    }
    return false;
}

void KeyboardFocus::changed(ui::Change change, ui::Control* before) {
    if (change != ui::Change::Visible && change != ui::Change::Enabled && change != ui::Change::Geometry) return;
    // Windows moves the focus off a window being hidden or disabled (to
    // its parent); the control that had it before the change tells.
    if (before && !lost_ && change != ui::Change::Geometry && !reachable(*before)) {
        lost_ = before;
        PostMessageW(views_.form(), kRepairMessage, 0, 0);
    }
    placeRing();
}

// The focused control has gone: the tab order tells where the focus goes.
void KeyboardFocus::repair() {
    ui::Control* was = std::exchange(lost_, nullptr);
    if (!was) return;
    // A handler may have given the focus elsewhere already; a frame that
    // Windows gave it to when its child was hidden is no place for it.
    if (ui::Control* now = focused(); now && now != was && isStop(*now) && reachable(*now)) return;
    if (ui::Control* to = order_.afterLoss(*was, [this](const ui::Control& c) { return reachable(c); })) focus(*to);
}

const RECT* KeyboardFocus::ringIn(const std::string& container) const {
    return !ringContainer_.empty() && container == ringContainer_ ? &ring_ : nullptr;
}

void KeyboardFocus::placeRing() {
    std::string container;
    RECT at{};
    if (ui::Control* c = shown_ ? focused() : nullptr; c && reachable(*c)) {
        container = c->design().container;
        at = pixelRect(*c, views_.dpi());
        if (const ControlView* v = views_.find(c->name()); v && v->window && c->kind() == ui::Kind::ComboBox) {
            // The closed box is the ring's, not the list it drops.
            RECT w{};
            GetWindowRect(v->window, &w);
            at.bottom = at.top + (w.bottom - w.top);
        }
    }
    if (container == ringContainer_ && EqualRect(&at, &ring_)) return;
    const int out = ringReach(views_.dpi());
    auto repaint = [this, out](const std::string& in, RECT r) {
        if (in.empty()) return;
        InflateRect(&r, out, out);
        repaintArea(views_.containerWindow(in), r);
    };
    repaint(ringContainer_, ring_);
    ringContainer_ = container;
    ring_ = at;
    repaint(ringContainer_, ring_);
}

}  // namespace win32
