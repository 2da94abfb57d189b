// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer on Win32.
#pragma once

#include "main/trainer.h"
#include "ui/screen_place.h"
#include "win32/form_window.h"
#include "win32/ports.h"

namespace program {

struct Win32Parts {
    using Pump = win32::Win32EventPump;
    using Screen = win32::Win32Screen;
    using Window = win32::Win32Window;
    using Timer = win32::Win32Timer;
    using View = win32::FormWindow;
    template <class T>
    static void attach(T& trainer) {
        trainer.pump.attach(&trainer.view);
        trainer.screen.attach(&trainer.view);
        trainer.window.attach(&trainer.view);
        trainer.timer.attach(&trainer.view);
        trainer.view.onTimer = [&trainer] { trainer.tick(); };
        // At another scale the screen has another size in twips: the panel
        // is centred on it again, as at the start.
        trainer.view.onScaleChanged = [&trainer] {
            ui::placeAtStartup(trainer.frm.controls(), trainer.screen.widthTwips(), trainer.screen.heightTwips());
        };
    }
};
using Win32Trainer = Trainer<Win32Parts>;

}  // namespace program
