// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/form_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <utility>

#include "ui/accessibility.h"
#include "ui/control_table.h"
#include "ui/placement.h"
#include "win32/child_controls.h"
#include "win32/accessibility.h"
#include "win32/keyboard.h"
#include "win32/painting.h"
#include "win32/text.h"

namespace win32 {
namespace {

// The program's icon resource (main/abacorn.rc).
constexpr int kIconResource = 1;

SIZE sizeOf(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return {r.right - r.left, r.bottom - r.top};
}

bool registerClasses(HINSTANCE instance, WNDPROC form, WNDPROC frame) {
    static bool done = false;
    if (done) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    // The form and the frames take clicks: the system tells the second
    // press of a double click, which the pointer's rules make no click.
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = form;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    wc.hIconSm = wc.hIcon;
    wc.lpszClassName = FormWindow::kWindowClass;
    if (!RegisterClassExW(&wc)) return false;
    wc.lpfnWndProc = frame;
    wc.hIcon = wc.hIconSm = nullptr;
    wc.lpszClassName = kFrameClass;
    if (!RegisterClassExW(&wc)) return false;
    done = true;
    return true;
}

FormWindow* self(HWND hwnd) { return reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

// A monitor's dots per inch as the program sees them (it is aware of each
// monitor's scale, see main/abacorn.manifest): GetDpiForMonitor, looked up
// at run time, else the system's.
int monitorDpi(HMONITOR monitor) {
    using GetDpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto get = [] {
        HMODULE shcore = LoadLibraryW(L"shcore.dll");
        return shcore ? reinterpret_cast<GetDpiForMonitor>(reinterpret_cast<void*>(
                            GetProcAddress(shcore, "GetDpiForMonitor")))
                      : nullptr;
    }();
    constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
    if (UINT x = 0, y = 0; get && monitor && SUCCEEDED(get(monitor, kEffectiveDpi, &x, &y)) && x > 0)
        return static_cast<int>(x);
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : ui::kDesignDpi;
}

HMONITOR primaryMonitor() { return MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY); }

RECT monitorRect(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    // The monitor's whole rectangle, not its work area: the taskbar too.
    return info.rcMonitor;
}

// The name of the container a frame window paints (its window property).
const std::string* frameName(HWND hwnd) { return static_cast<const std::string*>(GetPropW(hwnd, L"AbacornFrame")); }

}  // namespace

FormWindow::FormWindow(ui::Controls& controls, std::function<void(ui::Control&)> userEvent,
                       std::function<void()> formClick)
    : ui::Binding(controls, std::move(userEvent), std::move(formClick)),
      // The window opens on the primary monitor, at its scale.
      views_(controls, monitorDpi(primaryMonitor())) {
    for (ControlView& v : views_.all()) {
        if (v.picture) ui::fitPicture(*v.control, v.pictureSize.cx, v.pictureSize.cy);  // drawn scaled
        fitLabel(v, views_.dpi());
    }
    views_.notePainted(views_.dpi());
    createWindows();
    keyboard_ = std::make_unique<KeyboardFocus>(views_, [this](ui::Control& c) { activate(c); });
    accessibility_ = std::make_unique<Accessibility>(
        controls, Accessibility::Binding{[this](const ui::Control& c) { return windowFor(c.name()); },
                                         [this](const ui::Control& c) { return screenRect(c); },
                                         [this](ui::Control& c) { clicked(c); }});
    observe();
}

FormWindow::~FormWindow() {
    stopObserving();
    destroy();
}

RECT FormWindow::screenRect(const ui::Control& c) const {
    RECT r{};
    if (HWND own = windowFor(c.name())) {
        GetWindowRect(own, &r);
        return r;
    }
    r = pixelRect(c, views_.dpi());
    MapWindowPoints(views_.containerOf(c.design().container), nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

UINT FormWindow::bringToFrontMessage() {
    static const UINT message = RegisterWindowMessageW(L"Abacorn.BringToFront");
    return message;
}

void FormWindow::createWindows() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // The tooltip class is comctl32's, registered on request.
    INITCOMMONCONTROLSEX common{sizeof common, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&common);
    registerClasses(instance, formProc, frameProc);
    const ControlView* form = views_.find(views_.formName());
    const int width = form ? ui::twipsToPixels(form->control->width(), views_.dpi()) : 0;
    const int height = form ? ui::twipsToPixels(form->control->height(), views_.dpi()) : 0;
    // A popup: no caption, no border, no system menu; the caption is empty.
    HWND hwnd = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, width, height,
                                nullptr, nullptr, instance, nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    views_.setForm(hwnd);
    // Containers come before their children in the table, so a child's
    // parent window always exists by the time the child is made.
    for (ControlView& v : views_.all()) {
        if (!hasWindow(*v.control)) continue;
        HWND parent = views_.containerOf(v.control->design().container);
        if (!parent) parent = hwnd;
        v.window = createChild(v, parent);
    }
    stackWindows();
}

HWND FormWindow::createChild(ControlView& v, HWND parent) {
    ui::Control& c = *v.control;
    HWND hwnd = createChildWindow(v, parent, views_.dpi());
    if (!hwnd) return nullptr;
    if (c.kind() == ui::Kind::Frame) {
        // A frame's window paints its container: it knows its name and the form.
        SetPropW(hwnd, L"AbacornFrame", const_cast<std::string*>(&c.name()));
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    } else {
        SetWindowSubclass(hwnd, childProc, 0, reinterpret_cast<DWORD_PTR>(this));
    }
    return hwnd;
}

void FormWindow::stackWindows() {
    // Within a container the table runs front to back, and the windows of
    // frames, pictures, lists and buttons lie in front of the label-like
    // windows. Each one sent to the bottom in turn leaves the first on top.
    for (const bool inFront : {true, false})
        for (ControlView& v : views_.all())
            if (v.window && ui::liesInFront(v.control->kind()) == inFront)
                views_.stack(v.control->design().container).push_back(&v);
    for (ControlView& host : views_.all()) {
        if (host.control->kind() != ui::Kind::Form && host.control->kind() != ui::Kind::Frame) continue;
        for (ControlView* v : views_.stack(host.control->name()))
            SetWindowPos(v->window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

SIZE FormWindow::monitorTwips() const {
    HWND hwnd = views_.form();
    const RECT m = monitorRect(hwnd ? MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY) : primaryMonitor());
    return {ui::pixelsToTwips(m.right - m.left, views_.dpi()), ui::pixelsToTwips(m.bottom - m.top, views_.dpi())};
}

void FormWindow::showCoveringScreen() {
    HWND hwnd = views_.form();
    if (!hwnd) return;
    const RECT m = monitorRect(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY));
    SetWindowPos(hwnd, HWND_TOP, m.left, m.top, m.right - m.left, m.bottom - m.top, SWP_SHOWWINDOW);
    SetForegroundWindow(hwnd);
    keyboard_->rules().focusFirst();
}

void FormWindow::bringToFront() {
    HWND hwnd = views_.form();
    if (!hwnd) return;
    if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
    SetForegroundWindow(hwnd);
}

void FormWindow::destroy() {
    HWND hwnd = views_.form();
    if (!hwnd) return;
    // Tools that still hold an object of the window are told it is gone.
    if (accessibility_) accessibility_->disconnect();
    views_.setForm(nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    for (ControlView& v : views_.all())
        if (v.window) RemoveWindowSubclass(v.window, childProc, 0);
    DestroyWindow(hwnd);
    for (ControlView& v : views_.all()) v.window = nullptr;
    pendingTexts_.clear();
    pendingAreas_.clear();
}

// The window came to a monitor of another scale, or its monitor's scale
// changed (WM_DPICHANGED): the fonts are made anew, every control is
// placed and sized for the new scale, the window covers the monitor it is
// now on, and the program places the panel for the screen in twips.
void FormWindow::rescale(int dpi) {
    HWND hwnd = views_.form();
    if (!hwnd || dpi <= 0) return;
    if (dpi != views_.dpi()) {
        views_.setDpi(dpi);
        for (ControlView& v : views_.all()) {
            fitLabel(v, dpi);
            if (v.window) setChildFont(v, dpi);
        }
        if (onScaleChanged) onScaleChanged();
        views_.notePainted(dpi);
        pendingAreas_.clear();
    }
    const RECT m = monitorRect(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
    SetWindowPos(hwnd, nullptr, m.left, m.top, m.right - m.left, m.bottom - m.top, SWP_NOZORDER | SWP_NOACTIVATE);
    keyboard_->rules().toolkitFocusMoved();
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

bool FormWindow::preTranslate(const MSG& m) {
    if (!views_.form() || !keyboard_) return false;
    return keyboard_->message(m);
}

// ---- the model's changes --------------------------------------------------

// Repaints only where the control was and where it is now: the dealing
// loops change captions many times per card.
void FormWindow::repaintLightweight(ControlView& v) {
    const RECT both = toRECT(views_.repaintArea(v, views_.dpi()));
    if (HWND container = views_.containerOf(v.control->design().container)) {
        RECT& area = pendingAreas_[container];
        UnionRect(&area, &area, &both);
        flushSoon();
    }
}

// The logic writes captions in loops between two passes, and under Wine
// each redraw and window text is a dear round trip (docs/windows-notes.md):
// the areas and texts are gathered and handed over once, by a message
// posted for the next pass (posted messages come before WM_PAINT).
void FormWindow::flushSoon() {
    if (flushPosted_ || !views_.form()) return;
    flushPosted_ = PostMessageW(views_.form(), kFlushMessage, 0, 0) != 0;
}

void FormWindow::flush() {
    flushPosted_ = false;
    for (ControlView* v : pendingTexts_) {
        if (!v->window) continue;
        const ui::Control& c = *v->control;
        const bool plain = c.kind() == ui::Kind::Button && !c.design().graphical;
        SetWindowTextW(v->window, wide(plain ? c.caption() : ui::accessibleName(c)).c_str());
    }
    pendingTexts_.clear();
    for (const auto& [container, area] : pendingAreas_) repaintArea(container, area);
    pendingAreas_.clear();
}

void FormWindow::changed(std::size_t row, ui::Change change) {
    ControlView& v = views_.all()[row];
    ui::Control& c = *v.control;
    if (!views_.form()) return;
    const ui::Redraw r = ui::whatChangeNeeds(c, change);
    if (r.wholeForm) InvalidateRect(views_.form(), nullptr, FALSE);
    if (!r.tell) return;
    // Windows moves its focus off a window as it is hidden or disabled.
    keyboard_->rules().changing(change);
    if (r.refit) fitLabel(v, views_.dpi());
    if (HWND w = v.window) {
        if (r.text) {
            pendingTexts_.insert(&v);
            flushSoon();
        }
        if (r.show) ShowWindow(w, c.visible() ? SW_SHOWNA : SW_HIDE);
        if (r.enable) EnableWindow(w, c.enabled());
        if (r.place) placeChildWindow(v, views_.dpi());
        if (r.redrawOwn) InvalidateRect(w, nullptr, FALSE);
        // The program's selections only mirror the model: the handler has
        // been raised by the model already, and these messages notify no one.
        const auto index = static_cast<WPARAM>(c.selectedIndex());
        if (r.comboSelection) SendMessageW(w, CB_SETCURSEL, index, 0);
        if (r.listSelection) SendMessageW(w, LB_SETCURSEL, index, 0);
    }
    if (r.repaint) repaintLightweight(v);
    if (r.focus) keyboard_->rules().focus(c);
    keyboard_->rules().changed(c, change);
    accessibility_->changed(c, change);
}

// ---- clicks and picks -----------------------------------------------------

void FormWindow::focusOnClick(ui::Control& c) { keyboard_->rules().clicked(c); }

void FormWindow::command(HWND child, int code) {
    ControlView* v = views_.byOwn(child);
    if (!v) return;
    ui::Control& c = *v->control;
    switch (c.kind()) {
    case ui::Kind::ComboBox: {
        const auto index = static_cast<int>(SendMessageW(child, CB_GETCURSEL, 0, 0));
        // A pick in the dropped list comes as CBN_SELENDOK (also for the
        // entry already shown); the arrow keys and the wheel on the closed
        // box change the selection at once, each a pick. A mouse pick in
        // the list sends CBN_SELENDOK, CBN_CLOSEUP, then CBN_SELCHANGE: a
        // change to the entry the model holds is none.
        if (code == CBN_DROPDOWN) dropped_[child] = true;
        if (code == CBN_CLOSEUP) dropped_[child] = false;
        if (code == CBN_SELENDOK && dropped_[child]) pick(c, index);
        if (code == CBN_SELCHANGE && !dropped_[child] && index != c.selectedIndex()) pick(c, index);
        break;
    }
    case ui::Kind::ListBox:
        // The mouse's picks come when its button is released (childMessage);
        // the list sends its own LBN_SELCHANGE for them then.
        if (code == LBN_SELCHANGE && !listPress_[child].held())
            pick(c, static_cast<int>(SendMessageW(child, LB_GETCURSEL, 0, 0)));
        break;
    default:
        if (code == BN_CLICKED) clicked(c);
        // BN_DOUBLECLICKED: the second press of a double click is no click.
        break;
    }
}

// ---- painting -------------------------------------------------------------

// Double-buffered: the scene is drawn into a memory bitmap of the area to
// paint, then copied in one go.
void FormWindow::paintContainer(HWND hwnd, const std::string& container) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    const RECT& r = ps.rcPaint;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w > 0 && h > 0) {
        HDC mem = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
        HGDIOBJ old = SelectObject(mem, bitmap);
        SetViewportOrgEx(mem, -r.left, -r.top, nullptr);
        paintScene(views_, container, mem, sizeOf(hwnd), keyboard_->ringIn(container));
        SetViewportOrgEx(mem, 0, 0, nullptr);
        BitBlt(dc, r.left, r.top, w, h, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteObject(bitmap);
        DeleteDC(mem);
    }
    EndPaint(hwnd, &ps);
}

void FormWindow::drawItem(const DRAWITEMSTRUCT& item) {
    ControlView* v = views_.byOwn(item.hwndItem);
    if (!v) return;
    const ui::Control& c = *v->control;
    const SIZE size{item.rcItem.right - item.rcItem.left, item.rcItem.bottom - item.rcItem.top};
    if (size.cx <= 0 || size.cy <= 0) return;
    HDC mem = CreateCompatibleDC(item.hDC);
    HBITMAP bitmap = CreateCompatibleBitmap(item.hDC, size.cx, size.cy);
    HGDIOBJ old = SelectObject(mem, bitmap);
    switch (c.kind()) {
    case ui::Kind::PictureBox:
        paintPictureBox(views_, *v, mem, size);
        break;
    case ui::Kind::Button:
        paintFlatButton(*v, mem, size, (item.itemState & ODS_SELECTED) != 0, views_.dpi());
        break;
    default: {
        // A label or image with a window: its container's scene under it.
        const RECT r = pixelRect(c, views_.dpi());
        const std::string& container = c.design().container;
        SetViewportOrgEx(mem, -r.left, -r.top, nullptr);
        paintScene(views_, container, mem, sizeOf(views_.containerOf(container)), keyboard_->ringIn(container));
        SetViewportOrgEx(mem, 0, 0, nullptr);
        break;
    }
    }
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, size.cx, size.cy, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
}

// ---- window procedures ----------------------------------------------------

// What the form and the frames share: painting, their children's
// notifications and drawing, and the mouse on their lightweight controls.
LRESULT FormWindow::containerMessage(HWND hwnd, const std::string& container, UINT msg, WPARAM wp, LPARAM lp,
                                     bool& done) {
    done = true;
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paintContainer(hwnd, container);
        if (hwnd == views_.form() && !painted_) {
            painted_ = true;
            if (onFirstPaint) onFirstPaint();
        }
        return 0;
    case WM_DRAWITEM:
        drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        return TRUE;
    case WM_COMMAND:
        command(reinterpret_cast<HWND>(lp), HIWORD(wp));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP: {
        const POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ui::Control* under = ui::lightweightAt(views_.controls(), container, at.x, at.y, views_.dpi());
        if (msg == WM_LBUTTONUP) {
            if (GetCapture() == hwnd) ReleaseCapture();
            const SIZE size = sizeOf(hwnd);
            pointerReleased(container, under, at.x >= 0 && at.y >= 0 && at.x < size.cx && at.y < size.cy);
        } else {
            SetCapture(hwnd);
            if (msg == WM_LBUTTONDBLCLK)
                pointerDoubleClicked(container);
            else
                pointerPressed(container, under);
        }
        return 0;
    }
    default:
        done = false;
        return 0;
    }
}

LRESULT CALLBACK FormWindow::formProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    FormWindow* form = self(hwnd);
    if (!form) return DefWindowProcW(hwnd, msg, wp, lp);
    if (LRESULT result = 0; form->accessibility_ && form->accessibility_->answer(hwnd, msg, wp, lp, result))
        return result;
    if (msg == bringToFrontMessage()) {
        form->bringToFront();
        return 1;
    }
    switch (msg) {
    case WM_SYSCOMMAND:
        // No key or run of keys ends the lesson or leaves full screen:
        // Alt+F4 comes as SC_CLOSE with no mouse position (lParam 0), the
        // window menu (Alt+Space, F10, a lone Alt) as SC_KEYMENU.
        if ((wp & 0xFFF0) == SC_CLOSE && lp == 0) return 0;
        if ((wp & 0xFFF0) == SC_KEYMENU) return 0;
        break;
    case WM_CLOSE:
        if (form->onClose) form->onClose();
        return 0;
    case WM_TIMER:
        if (wp == kTimerId && form->onTimer) form->onTimer();
        return 0;
    case WM_SETTINGCHANGE:
        form->screenReader.settingChanged(wp);
        break;
    case WM_DPICHANGED:
        // The suggested rectangle (lParam) is not needed: the window covers
        // the monitor it is on.
        form->rescale(LOWORD(wp));
        return 0;
    case WM_ACTIVATE:
        form->keyboard_->rules().activation(LOWORD(wp) != WA_INACTIVE);
        if (LOWORD(wp) == WA_INACTIVE) break;
        return 0;
    case WM_SETFOCUS:
        form->keyboard_->rules().toolkitFocusMoved();
        return 0;
    case KeyboardFocus::kRepairMessage:
        form->keyboard_->rules().repair();
        return 0;
    case kFlushMessage:
        form->flush();
        return 0;
    default: {
        bool done = false;
        const LRESULT result = form->containerMessage(hwnd, form->views_.formName(), msg, wp, lp, done);
        if (done) return result;
    }
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK FormWindow::frameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    FormWindow* form = self(hwnd);
    const std::string* name = frameName(hwnd);
    if (!form || !name) return DefWindowProcW(hwnd, msg, wp, lp);
    if (LRESULT result = 0; form->accessibility_ && form->accessibility_->answer(hwnd, msg, wp, lp, result))
        return result;
    if (msg == WM_NCDESTROY) RemovePropW(hwnd, L"AbacornFrame");
    bool done = false;
    const LRESULT result = form->containerMessage(hwnd, *name, msg, wp, lp, done);
    return done ? result : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK FormWindow::childProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* form = reinterpret_cast<FormWindow*>(data);
    if (LRESULT result = 0; form->accessibility_ && form->accessibility_->answer(hwnd, msg, wp, lp, result))
        return result;
    bool done = false;
    const LRESULT result = form->childMessage(hwnd, msg, wp, lp, done);
    return done ? result : DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT FormWindow::childMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& done) {
    done = false;
    ControlView* v = views_.byOwn(hwnd);
    if (!v) return 0;
    switch (msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
        done = true;
        const LRESULT result = DefSubclassProc(hwnd, msg, wp, lp);
        if (keyboard_) keyboard_->rules().toolkitFocusMoved();
        return result;
    }
    case WM_ERASEBKGND:
        // Owner-drawn windows paint all of themselves.
        if (v->control->kind() != ui::Kind::ListBox && v->control->kind() != ui::Kind::ComboBox &&
            (GetWindowLongW(hwnd, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW) {
            done = true;
            return 1;
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (v->control->kind() != ui::Kind::ListBox) return 0;
        // Each click of a double click is a click, as in the number lists.
        done = true;
        listPress_[hwnd].press(static_cast<int>(SendMessageW(hwnd, LB_GETCURSEL, 0, 0)));
        return DefSubclassProc(hwnd, WM_LBUTTONDOWN, wp, lp);
    case WM_LBUTTONUP: {
        if (v->control->kind() != ui::Kind::ListBox || !listPress_[hwnd].held()) return 0;
        done = true;
        const LRESULT result = DefSubclassProc(hwnd, msg, wp, lp);
        const auto now = static_cast<int>(SendMessageW(hwnd, LB_GETCURSEL, 0, 0));
        const auto under = static_cast<DWORD>(SendMessageW(hwnd, LB_ITEMFROMPOINT, 0, lp));
        pick(*v->control, listPress_[hwnd].release(now, HIWORD(under) == 0 ? static_cast<int>(LOWORD(under)) : -1));
        return result;
    }
    default:
        return 0;
    }
}

}  // namespace win32
