// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer put together on Qt: the platform services, the window object
// and the view that shows it, wired to each other. The program and the
// benchmarks build it the same way.
#pragma once

#include "app/frm_splash.h"
#include "problems/random.h"
#include "speech/speech_engine.h"
#include "qt/form_view.h"
#include "qt/ports.h"
#include "qt/qt_platform.h"

namespace program {

struct QtTrainer {
    // Needs a QApplication. The view hands the child's clicks and picks, the
    // window's closing and the timer's ticks to the window object.
    explicit QtTrainer(speech::EngineFactory createVoice);
    QtTrainer(const QtTrainer&) = delete;
    QtTrainer& operator=(const QtTrainer&) = delete;

    qt::QtEventPump pump;
    qt::QtScreen screen;
    qt::QtWindow window;
    qt::QtTimer timer;
    problems::SteadyClock clock;
    problems::MixingRandom random;
    app::frmSplash frm;
    qt::FormView view;
};

}  // namespace program
