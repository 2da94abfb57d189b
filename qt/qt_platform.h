// SPDX-License-Identifier: GPL-3.0-or-later
// What the program asks of Qt beside the window: the timer control's
// countdown, fontconfig loaded early, the first paint, a window brought to
// the front. The services of app/ports.h are in ports.h. Construct them
// after the QApplication (FontconfigWarmUp before it).
#pragma once

#include <QTimer>
#include <functional>
#include <thread>

#include "ui/control.h"

class QWidget;

namespace qt {

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
