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

// A virtual key as the window's rules know it (ui::KeyPress).
ui::KeyPress keyPress(WPARAM vk) {
    ui::KeyPress k;
    k.shift = down(VK_SHIFT);
    k.ctrl = down(VK_CONTROL);
    k.alt = down(VK_MENU);
    switch (vk) {
    case VK_SPACE: k.key = ui::Key::Space; break;
    case VK_RETURN: k.key = ui::Key::Enter; break;
    case VK_TAB: k.key = ui::Key::Tab; break;
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_LMENU:
    case VK_RMENU: k.key = ui::Key::Modifier; break;
    default:
        if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) {
            k.key = ui::Key::Letter;
            k.letter = static_cast<char>(vk);
        }
    }
    return k;
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

bool KeyboardFocus::press(ui::Control& c, ui::KeyAction action) {
    const ControlView* v = views_.find(c.name());
    if (!v || !v->window) return false;
    switch (action) {
    case ui::KeyAction::OpenList:
        SendMessageW(v->window, CB_SHOWDROPDOWN, TRUE, 0);
        return true;
    case ui::KeyAction::Press:
        if (c.kind() == ui::Kind::ListBox) {
            // The entry at the caret, as a click on it (also the entry
            // already selected).
            const auto row = static_cast<int>(SendMessageW(v->window, LB_GETCARETINDEX, 0, 0));
            if (row >= 0 && row < c.itemCount()) {
                SendMessageW(v->window, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
                c.setSelectedIndex(row);
                press_(c);
            }
        } else if (isStop(c) && reachable(c)) {
            // A button out of the tab order (the close button, after a
            // click that did not end on it) takes no key.
            press_(c);
        }
        return true;
    default:
        return false;
    }
}

bool KeyboardFocus::message(const MSG& m) {
    switch (m.message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
        if (shown_.pointerPressed()) placeRing();
        return false;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        break;
    default:
        return false;
    }
    const ui::KeyPress key = keyPress(m.wParam);
    if (shown_.keyPressed(key)) placeRing();
    for (auto& c : views_.controls().all())
        if (ui::matchesShortcut(c->design().shortcut, key)) {
            press_(*c);
            return true;
        }
    ui::Control* now = focused();
    const HWND box = now && now->kind() == ui::Kind::ComboBox ? views_.find(now->name())->window : nullptr;
    const ui::KeyAction action = ui::keyAction(key, now ? now->kind() : ui::Kind::Form,
                                               box && SendMessageW(box, CB_GETDROPPEDSTATE, 0, 0));
    switch (action) {
    case ui::KeyAction::FocusNext:
    case ui::KeyAction::FocusPrevious:
        if (box) SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
        return tab(action == ui::KeyAction::FocusNext);
    case ui::KeyAction::None:
        return false;
    default:
        return press(*now, action);
    }
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
    if (ui::Control* c = shown_.shown() ? focused() : nullptr; c && reachable(*c)) {
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
