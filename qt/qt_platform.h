// SPDX-License-Identifier: GPL-3.0-or-later
// The platform services of app/ports.h on Qt. Construct them after the
// QApplication.
#pragma once

#include <QTimer>
#include <functional>
#include <thread>

class QWidget;

#include "app/ports.h"
#include "ui/control.h"

namespace qt {

class FormView;

// One pass over the pending events. Idle, a pass costs about 0.6 us
// (offscreen and Xvfb alike), so a million-pass pause takes well under a
// second.
class QtEventPump : public app::EventPump {
public:
    void processEvents() override;
};

// The primary screen in twips: device-independent pixels times 15. Without
// a screen it reports the design size of the window.
class QtScreen : public app::Screen {
public:
    int widthTwips() const override;
    int heightTwips() const override;
};

// The window. show() returns at once; close() hides the window and ends the
// event loop with status 0. QCoreApplication::exit() does nothing while no
// event loop runs (checked: an exit() before exec() is forgotten), so a
// close that happens before exec() must be caught by the caller:
//     return window.closed() ? 0 : app.exec();
class QtWindow : public app::Window {
public:
    void attach(FormView* view) { view_ = view; }
    void show() override;
    void close() override;
    bool closed() const { return closed_; }

private:
    FormView* view_ = nullptr;
    bool closed_ = false;
};

// The countdown behind the timer control. start() restarts it from the full
// interval; each tick calls onTick (the program wires it to the timer's
// handler). Ticks arrive only while events are processed.
class QtTimer : public ui::TimerPort {
public:
    QtTimer();
    void start(int intervalMs) override;
    void stop() override;
    bool active() const { return timer_.isActive(); }
    int intervalMs() const { return timer_.interval(); }

    std::function<void()> onTick;

private:
    QTimer timer_;
};

// Loads fontconfig's configuration and font list on a thread of its own,
// started before the QApplication: it is the largest single piece of work
// before the first frame (about a quarter of it, parsing the configuration
// files), and it needs neither Qt nor the display, so it can run while Qt
// connects to the display. Call wait() before the first font is looked up:
// Qt would otherwise load the same configuration a second time alongside.
class FontconfigWarmUp {
public:
    FontconfigWarmUp();
    ~FontconfigWarmUp() { wait(); }
    void wait() {
        if (thread_.joinable()) thread_.join();
    }

private:
    std::thread thread_;
};

// Calls then() once, right after the widget's first paint has been handed
// to the display (from the event loop's next pass).
void afterFirstPaint(QWidget& widget, std::function<void()> then);

// Brings a shown window back to the front and gives it the keyboard, as a
// second start of the trainer asks; a minimised window is shown again.
void bringToFront(QWidget& window);

}  // namespace qt
