// SPDX-License-Identifier: GPL-3.0-or-later
// The platform services of app/ports.h in a web page: a library of their own
// (abacorn_web_ports) above the binding.
#pragma once

#include <functional>

#include "app/ports.h"
#include "ui/control.h"
#include "web/page.h"

namespace web {

// One pass drains the page's queue, each event handled at once (nested in
// whatever is running, as on the desktop), and lets the browser paint and
// collect input when a frame's time has gone by since it last did.
class WebEventPump : public app::EventPump {
public:
    static constexpr double kFrameMs = 8.0;
    void processEvents() override;
    // Handles every event waiting in the page's queue.
    void drain();
    // A run starts: the first turn to the browser comes a frame's time
    // later, not at the first pass, so that the window shows sooner.
    void starting() { lastYield_ = page::now(); }
    std::function<void(const page::Event&)> onEvent;

private:
    double lastYield_ = 0;
};

class FormPage;

// The viewport in twips at the scale the window is drawn at.
class WebScreen : public app::Screen {
public:
    void attach(const FormPage* view) { view_ = view; }
    int widthTwips() const override;
    int heightTwips() const override;

private:
    const FormPage* view_ = nullptr;
};

// show() uncovers the window; close() gives the page back its start screen
// and tells the program, which ends the run once its stack has unwound.
class WebWindow : public app::Window {
public:
    void show() override;
    void close() override;
    bool closed() const { return closed_; }
    std::function<void()> onShown;

private:
    bool closed_ = false;
};

class WebTimer : public ui::TimerPort {
public:
    void start(int intervalMs) override { page::timer(intervalMs > 0 ? intervalMs : 1); }
    void stop() override { page::timer(0); }
};

}  // namespace web
