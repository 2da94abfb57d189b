// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer put together: the platform services, the window object and the
// binding's window that shows it, wired to each other. A platform names only
// its parts and how they attach (main/qt_trainer.h, main/win32_trainer.h);
// the program and the benchmarks build it the same way.
#pragma once

#include <utility>

#include "app/frm_splash.h"
#include "problems/random.h"
#include "speech/speech_engine.h"
#include "ui/control_table.h"

namespace program {

// Parts names the binding's Pump, Screen, Window and Timer (app/ports.h,
// ui::TimerPort) and its View (a ui::Binding made from the controls, the
// child's events and the bare window's clicks, with onClose); its
// attach(trainer) hands the ports the view and the timer's ticks to tick().
template <class Parts>
struct Trainer {
    // The view hands the child's clicks and picks, the window's closing and
    // the timer's ticks to the window object.
    explicit Trainer(speech::EngineFactory createVoice)
        : random(clock, clock.now()),
          frm(ui::controlTable(), app::Platform{pump, screen, window, timer, random, std::move(createVoice)}),
          view(
              frm.controls(), [this](ui::Control& c) { frm.dispatchControl(c); },
              [this] { frm.dispatch(&app::frmSplash::Form_Click); }) {
        view.onClose = [this] { frm.Command1_Click(); };
        Parts::attach(*this);
    }
    Trainer(const Trainer&) = delete;
    Trainer& operator=(const Trainer&) = delete;

    void tick() { frm.dispatch(&app::frmSplash::Timer1_Timer); }

    typename Parts::Pump pump;
    typename Parts::Screen screen;
    typename Parts::Window window;
    typename Parts::Timer timer;
    problems::SteadyClock clock;
    problems::MixingRandom random;
    app::frmSplash frm;
    typename Parts::View view;
};

}  // namespace program
