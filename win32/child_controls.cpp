// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/child_controls.h"

#include <commctrl.h>

#include <string>

#include "ui/accessibility.h"
#include "ui/placement.h"
#include "win32/text.h"

namespace win32 {
namespace {

// How many entries a dropped number list shows at once: the height given
// to a combo box's window is its dropped list's.
constexpr int kDroppedEntries = 10;

int windowHeight(const ui::Control& c, const RECT& r) {
    const int h = r.bottom - r.top;
    return c.kind() == ui::Kind::ComboBox ? h * (kDroppedEntries + 1) : h;
}

// The closed box comes out at the design's height: the selection field's
// height is what can be set, the edges round it are the system's. The
// field is set and the box measured, then set again by the difference:
// what CB_GETITEMHEIGHT answers need not be what was set
// (docs/windows-notes.md).
void fitComboHeight(HWND combo, int want) {
    auto field = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    for (int round = 0; round < 3 && field >= 1; ++round) {
        SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
        RECT r{};
        GetWindowRect(combo, &r);
        const int closed = static_cast<int>(r.bottom - r.top);
        if (closed == want) return;
        field += want - closed;
    }
}

void addTooltip(HWND control, HWND parent, const std::string& tooltip) {
    // The tooltip window is owned by the control's and goes with it.
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, control,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    const std::wstring text = wide(tooltip);
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = parent;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace

HWND createChildWindow(const ControlView& v, HWND parent, int dpi) {
    const ui::Control& c = *v.control;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const RECT r = pixelRect(c, dpi);
    const int x = r.left, y = r.top, w = r.right - r.left, h = windowHeight(c, r);
    const DWORD common = WS_CHILD | WS_CLIPSIBLINGS | (c.visible() ? WS_VISIBLE : 0) | (c.enabled() ? 0 : WS_DISABLED);
    const wchar_t* windowClass = L"BUTTON";
    DWORD style = common;
    std::wstring text = wide(ui::accessibleName(c));
    switch (c.kind()) {
    case ui::Kind::Frame:
        windowClass = kFrameClass;
        style |= WS_CLIPCHILDREN;
        break;
    case ui::Kind::Button:
        if (!c.design().graphical) {
            style |= BS_PUSHBUTTON;
            text = wide(c.caption());
            break;
        }
        [[fallthrough]];
    case ui::Kind::PictureBox:
    case ui::Kind::Label:
    case ui::Kind::Image:
        style |= BS_OWNERDRAW;
        break;
    case ui::Kind::ComboBox:
        windowClass = L"COMBOBOX";
        style |= WS_VSCROLL | CBS_DROPDOWNLIST;
        text.clear();
        break;
    case ui::Kind::ListBox:
        windowClass = L"LISTBOX";
        style |= WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
        text.clear();
        break;
    default:
        return nullptr;
    }
    HWND hwnd = CreateWindowExW(0, windowClass, text.c_str(), style, x, y, w, h, parent, nullptr, instance, nullptr);
    if (!hwnd) return nullptr;
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(v.font), FALSE);
    if (c.kind() == ui::Kind::ComboBox || c.kind() == ui::Kind::ListBox) {
        const bool combo = c.kind() == ui::Kind::ComboBox;
        for (const auto& item : c.design().items)
            SendMessageW(hwnd, combo ? CB_ADDSTRING : LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item).c_str()));
        SendMessageW(hwnd, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(c.selectedIndex()), 0);
        if (combo) fitComboHeight(hwnd, r.bottom - r.top);
    }
    if (!c.design().tooltip.empty()) addTooltip(hwnd, parent, c.design().tooltip);
    return hwnd;
}

void placeChildWindow(const ControlView& v, int dpi) {
    const RECT r = pixelRect(*v.control, dpi);
    SetWindowPos(v.window, nullptr, r.left, r.top, r.right - r.left, windowHeight(*v.control, r),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void setChildFont(const ControlView& v, int dpi) {
    SendMessageW(v.window, WM_SETFONT, reinterpret_cast<WPARAM>(v.font), TRUE);
    placeChildWindow(v, dpi);
    if (v.control->kind() == ui::Kind::ComboBox) {
        const RECT r = pixelRect(*v.control, dpi);
        fitComboHeight(v.window, r.bottom - r.top);
    }
}

}  // namespace win32
