// SPDX-License-Identifier: GPL-3.0-or-later
#include "main/win32_trainer.h"

#include "ui/control_table.h"

namespace program {

Win32Trainer::Win32Trainer(speech::EngineFactory createVoice)
    : random(clock, clock.now()),
      frm(ui::controlTable(), app::Platform{pump, screen, window, timer, random, std::move(createVoice)}),
      form(
          frm.controls(), [this](ui::Control& c) { frm.dispatchControl(c); },
          [this] { frm.dispatch(&app::frmSplash::Form_Click); }) {
    pump.attach(&form);
    screen.attach(&form);
    window.attach(&form);
    timer.attach(&form);
    form.onClose = [this] { frm.Command1_Click(); };
    form.onTimer = [this] { frm.dispatch(&app::frmSplash::Timer1_Timer); };
    // At another scale the screen has another size in twips: the panel is
    // centred on it again, as at the start.
    form.onScaleChanged = [this] { ui::placeAtStartup(frm.controls(), screen.widthTwips(), screen.heightTwips()); };
}

}  // namespace program
