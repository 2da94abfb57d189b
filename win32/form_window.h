// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's window on Win32: renders the control model and forwards the
// child's clicks and picks.
//
// Everything a child can click or reach with Tab is a child window of its
// own: owner-drawn buttons for the card, the modes, the pictures, the tiles,
// the loudspeakers and the drawing, a combo box for each number list, a
// list box for the seconds. Frames are child windows that paint their own
// lightweight controls. Labels, shapes, lines and images are painted by
// their container in the design's order, back to front; an owner-drawn
// window over them paints its container's scene under its rectangle, so
// what lies behind it shows through.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "ui/binding.h"
#include "ui/control.h"
#include "ui/pointer.h"
#include "win32/screen_reader_switch.h"
#include "win32/views.h"

namespace win32 {

class Accessibility;
class KeyboardFocus;

class FormWindow : public ui::Binding {
public:
    // The window class; FindWindowW(kWindowClass, nullptr) finds a running
    // trainer.
    static constexpr const wchar_t* kWindowClass = L"AbacornWindow";

    // userEvent: the child clicked a control that has a handler or picked
    // an entry in a list (the pick is already recorded in the model).
    // formClick: the child clicked the bare window, outside every control.
    FormWindow(ui::Controls& controls, std::function<void(ui::Control&)> userEvent, std::function<void()> formClick);
    ~FormWindow() override;  // detaches the observers from the model
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    HWND hwnd() const { return views_.form(); }
    // The child window that shows a control; nullptr for painted ones.
    HWND windowFor(const std::string& name) const { return views_.ownFor(name); }

    // Covers the whole monitor, the taskbar included, and takes the focus.
    void showCoveringScreen();
    // The scale the window draws at, in dots per inch: its monitor's.
    int dpi() const { return views_.dpi(); }
    // The monitor the window is on, in twips at the window's scale.
    SIZE monitorTwips() const;
    // Draws everything at another scale (WM_DPICHANGED).
    void rescale(int dpi);
    // Restores the window and brings it to the front (a second start asks).
    void bringToFront();
    void destroy();

    // A message before it is dispatched: keys and clicks the window handles
    // itself (Tab, Space and Enter, Ctrl+Q, the focus ring). True when it
    // was used up; the event loops call it for every message.
    bool preTranslate(const MSG& m);

    // The message a second start sends to bring the first to the front.
    static UINT bringToFrontMessage();

    // The window was closed other than by the program (a WM_CLOSE from
    // another program, the session ending): the program ends the same way.
    std::function<void()> onClose;
    // The timer of the window (SetTimer on it) ticked.
    std::function<void()> onTimer;
    // Once, after the window's first frame has been painted.
    std::function<void()> onFirstPaint;
    // The window's scale changed, so the screen has another size in twips
    // (the controls are already placed for the new scale).
    std::function<void()> onScaleChanged;
    // The screen-reader switch of Windows, followed while the window lives.
    ScreenReaderSwitch screenReader;

    static constexpr UINT_PTR kTimerId = 1;

private:
    static LRESULT CALLBACK formProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK frameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK childProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);
    LRESULT containerMessage(HWND hwnd, const std::string& container, UINT msg, WPARAM wp, LPARAM lp, bool& done);
    LRESULT childMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool& done);

    void createWindows();
    void stackWindows();
    HWND createChild(ControlView& v, HWND parent);
    void paintContainer(HWND hwnd, const std::string& container);
    void drawItem(const DRAWITEMSTRUCT& item);
    void command(HWND child, int code);

    void changed(std::size_t row, ui::Change change) override;
    void focusOnClick(ui::Control& c) override;
    void repaintLightweight(ControlView& v);
    void flushSoon();
    void flush();

    ControlViews views_;
    std::unique_ptr<KeyboardFocus> keyboard_;
    // The screen readers' objects (MSAA).
    std::unique_ptr<Accessibility> accessibility_;
    RECT screenRect(const ui::Control& c) const;
    // The number lists whose list is dropped: their picks come when it closes.
    std::unordered_map<HWND, bool> dropped_;
    // The list boxes' mouse buttons.
    std::unordered_map<HWND, ui::ListPress> listPress_;
    bool painted_ = false;
    // What the model changed since the last pass: the window texts to set
    // and the areas of each container to repaint (see flush()).
    static constexpr UINT kFlushMessage = WM_APP + 2;
    std::unordered_set<ControlView*> pendingTexts_;
    std::unordered_map<HWND, RECT> pendingAreas_;
    bool flushPosted_ = false;
};

}  // namespace win32
