// SPDX-License-Identifier: GPL-3.0-or-later
// The platform services of app/ports.h on Win32: a library of their own
// (abacorn_win32_ports) above the binding, so that the binding itself needs
// nothing of app/.
#pragma once

#include <windows.h>

#include "app/ports.h"
#include "ui/control.h"

namespace win32 {

class FormWindow;

// One pass over what is pending in the thread's queue: each message goes
// through the window's own key handling, then TranslateMessage and
// DispatchMessage. With nothing pending a pass costs one PeekMessage.
// A WM_QUIT met inside a pass is posted again, for the event loop.
class Win32EventPump : public app::EventPump {
public:
    void attach(FormWindow* form) { form_ = form; }
    void processEvents() override;

private:
    FormWindow* form_ = nullptr;
};

// Dispatches one message as the event loops do.
void dispatch(FormWindow* form, const MSG& m);

// The monitor the window is on, in twips at the monitor's scale: 1440 to
// the inch, 15 to the pixel at 96 dots per inch, 10 at 144. Before a
// window is attached: the primary monitor's pixels times 15.
class Win32Screen : public app::Screen {
public:
    void attach(const FormWindow* form) { form_ = form; }
    int widthTwips() const override;
    int heightTwips() const override;

private:
    const FormWindow* form_ = nullptr;
};

// The window. show() returns at once; close() destroys the window and ends
// the event loop with status 0 (PostQuitMessage).
class Win32Window : public app::Window {
public:
    void attach(FormWindow* form) { form_ = form; }
    void show() override;
    void close() override;
    bool closed() const { return closed_; }

private:
    FormWindow* form_ = nullptr;
    bool closed_ = false;
};

// The countdown behind the timer control: SetTimer on the form window,
// whose WM_TIMER calls FormWindow::onTimer. Ticks arrive only while
// events are processed.
class Win32Timer : public ui::TimerPort {
public:
    void attach(FormWindow* form) { form_ = form; }
    void start(int intervalMs) override;
    void stop() override;

private:
    FormWindow* form_ = nullptr;
};

}  // namespace win32
