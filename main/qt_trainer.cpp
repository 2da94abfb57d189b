// SPDX-License-Identifier: GPL-3.0-or-later
#include "main/qt_trainer.h"

#include "ui/control_table.h"

namespace program {

QtTrainer::QtTrainer(speech::EngineFactory createVoice)
    : random(clock, clock.now()),
      frm(ui::controlTable(), app::Platform{pump, screen, window, timer, random, std::move(createVoice)}),
      view(
          frm.controls(), [this](ui::Control& c) { frm.dispatchControl(c); },
          [this] { frm.dispatch(&app::frmSplash::Form_Click); }) {
    window.attach(&view);
    view.onClose = [this] { frm.Command1_Click(); };
    timer.onTick = [this] { frm.dispatch(&app::frmSplash::Timer1_Timer); };
}

}  // namespace program
