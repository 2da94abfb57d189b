// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/ports.h"

#include <windows.h>

#include "ui/control_table.h"
#include "win32/form_window.h"

namespace win32 {

void dispatch(FormWindow* form, const MSG& m) {
    if (form && form->preTranslate(m)) return;
    TranslateMessage(&m);
    DispatchMessageW(&m);
}

void Win32EventPump::processEvents() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            // The event loop further out ends on it.
            PostQuitMessage(static_cast<int>(m.wParam));
            return;
        }
        dispatch(form_, m);
    }
}

int Win32Screen::widthTwips() const {
    if (form_ && form_->hwnd()) return form_->monitorTwips().cx;
    const int pixels = GetSystemMetrics(SM_CXSCREEN);
    return pixels > 0 ? pixels * ui::kTwipsPerPixel : ui::kDesignWidth;
}

int Win32Screen::heightTwips() const {
    if (form_ && form_->hwnd()) return form_->monitorTwips().cy;
    const int pixels = GetSystemMetrics(SM_CYSCREEN);
    return pixels > 0 ? pixels * ui::kTwipsPerPixel : ui::kDesignHeight;
}

void Win32Window::show() {
    if (form_ && !closed_) form_->showCoveringScreen();
}

void Win32Window::close() {
    if (closed_) return;
    closed_ = true;
    if (form_) form_->destroy();
    PostQuitMessage(0);
}

void Win32Timer::start(int intervalMs) {
    if (form_ && form_->hwnd()) SetTimer(form_->hwnd(), FormWindow::kTimerId, static_cast<UINT>(intervalMs), nullptr);
}

void Win32Timer::stop() {
    if (form_ && form_->hwnd()) KillTimer(form_->hwnd(), FormWindow::kTimerId);
}

}  // namespace win32
