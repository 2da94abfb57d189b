// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer in a web page.
#pragma once

#include "main/trainer.h"
#include "ui/control_table.h"
#include "ui/screen_place.h"
#include "web/form_page.h"
#include "web/ports.h"

namespace program {

struct WebParts {
    using Pump = web::WebEventPump;
    using Screen = web::WebScreen;
    using Window = web::WebWindow;
    using Timer = web::WebTimer;
    using View = web::FormPage;
    template <class T>
    static void attach(T& trainer) {
        trainer.pump.onEvent = [&trainer](const web::page::Event& e) { trainer.view.handle(e); };
        trainer.view.onTick = [&trainer] { trainer.tick(); };
        trainer.window.onShown = [&trainer] { trainer.view.shown(); };
        trainer.screen.attach(&trainer.view);
        // A screen of another size (full screen taken or left, a turn of
        // the device): the window is drawn at the scale that fits it, and
        // the panel centred on it again, as at the start.
        trainer.view.onResized = [&trainer] {
            ui::placeAtStartup(trainer.frm.controls(), trainer.screen.widthTwips(), trainer.screen.heightTwips());
        };
    }
};
using WebTrainer = Trainer<WebParts>;

}  // namespace program
