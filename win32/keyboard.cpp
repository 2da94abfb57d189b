// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/keyboard.h"

#include <utility>

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

RECT toRect(const ui::PixelBox& b) { return {b.x, b.y, b.x + b.width, b.y + b.height}; }

}  // namespace

KeyboardFocus::KeyboardFocus(ControlViews& views, std::function<void(ui::Control&)> press)
    : views_(views), press_(std::move(press)), rules_(views.controls(), *this) {}

ui::Control* KeyboardFocus::toolkitFocus() const {
    for (HWND w = GetFocus(); w && w != views_.form(); w = GetParent(w))
        if (ControlView* v = views_.byOwn(w)) return v->control;
    return nullptr;
}

bool KeyboardFocus::hasWidget(const ui::Control& c) const {
    const ControlView* v = views_.find(c.name());
    return v && v->window;
}

void KeyboardFocus::giveFocus(ui::Control& c, ui::FocusCause) { SetFocus(views_.find(c.name())->window); }

void KeyboardFocus::queueRepair() { PostMessageW(views_.form(), kRepairMessage, 0, 0); }

ui::PixelBox KeyboardFocus::ringBox(const ui::Control& c) const {
    RECT at = pixelRect(c, views_.dpi());
    if (const ControlView* v = views_.find(c.name()); v && v->window && c.kind() == ui::Kind::ComboBox) {
        // The closed box is the ring's, not the list it drops.
        RECT w{};
        GetWindowRect(v->window, &w);
        at.bottom = at.top + (w.bottom - w.top);
    }
    return {at.left, at.top, at.right - at.left, at.bottom - at.top};
}

void KeyboardFocus::ringMoved(const ui::RingPlace& from, const ui::RingPlace& to) {
    ring_ = toRect(to.around);
    for (const ui::RingPlace* p : {&from, &to})
        if (p->shown()) repaintArea(views_.containerOf(p->container), toRect(ui::ringOuter(p->around, views_.dpi())));
}

const RECT* KeyboardFocus::ringIn(const std::string& container) const {
    return rules_.ring().shown() && container == rules_.ring().container ? &ring_ : nullptr;
}

bool KeyboardFocus::listOpen(const ui::Control& list) const {
    return SendMessageW(views_.find(list.name())->window, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void KeyboardFocus::showList(ui::Control& list, bool open) {
    SendMessageW(views_.find(list.name())->window, CB_SHOWDROPDOWN, open, 0);
}

// The entry at the caret, as a click on it (also the entry already selected).
void KeyboardFocus::pickCurrentEntry(ui::Control& list) {
    HWND box = views_.find(list.name())->window;
    const auto row = static_cast<int>(SendMessageW(box, LB_GETCARETINDEX, 0, 0));
    if (row < 0 || row >= list.itemCount()) return;
    SendMessageW(box, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    list.setSelectedIndex(row);
    press_(list);
}

bool KeyboardFocus::message(const MSG& m) {
    switch (m.message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_NCLBUTTONDOWN:
        rules_.pointerPressed();
        return false;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return rules_.key(keyPress(m.wParam));
    default:
        return false;
    }
}

}  // namespace win32
