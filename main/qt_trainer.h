// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer on Qt. Needs a QApplication.
#pragma once

#include "main/trainer.h"
#include "qt/form_view.h"
#include "qt/ports.h"
#include "qt/qt_platform.h"

namespace program {

struct QtParts {
    using Pump = qt::QtEventPump;
    using Screen = qt::QtScreen;
    using Window = qt::QtWindow;
    using Timer = qt::QtTimer;
    using View = qt::FormView;
    template <class T>
    static void attach(T& trainer) {
        trainer.window.attach(&trainer.view);
        trainer.timer.onTick = [&trainer] { trainer.tick(); };
    }
};
using QtTrainer = Trainer<QtParts>;

}  // namespace program
