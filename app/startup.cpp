// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and shutdown.
#include "app/frm_splash.h"
#include "ui/control_table.h"
#include "ui/screen_place.h"
#include "words/words.h"

namespace app {

void frmSplash::Form_Load() {
    try {
        state_.voice = platform_.createVoice ? platform_.createVoice() : nullptr;
    } catch (...) {
        state_.voice.reset();  // no engine: the trainer runs silently
    }
    // Centre the panel on the screen and put the banner right above it.
    ui::placeAtStartup(controls_, platform_.screen.widthTwips(), platform_.screen.heightTwips());

    // The two selections below must not act like a pick by the child.
    state_.startupGuard = words::kStartupGuard;
    cmdDummy.setVisible(false);
    lblTimerStatus.setCaption("");
    state_.awaitingChoice = words::kNoNumber;
    state_.mode = words::kStandard;
    lstTimer.setEnabled(false);
    Timer1.setEnabled(false);
    state_.operation = words::kAddition;
    state_.minNumber = 0;
    state_.maxNumber = 12;
    cmbMinNum.select(0);
    cmbMaxNum.select(9);
    state_.minRangeOk = words::kYes;
    state_.maxRangeOk = words::kYes;
    frameChoices.setVisible(false);

    // The worked example, with its answer.
    lbln1.setCaption("12");
    lbln2.setCaption("12");
    lbln3.setCaption("24");
    state_.answer = 24.0f;
    lbln1.setVisible(true);
    lbln2.setVisible(true);
    lbln3.setVisible(true);

    doEvents();
    platform_.window.show();
    pause(kStartupPasses);
    Speak("welcome to abacorn, standard mode. click on flashcard to begin.");
}

void frmSplash::Form_Click() { Timer1.setEnabled(false); }

// Ends the program at once: nothing is asked, saved or said. Pauses still
// running further up the stack see the flag and stop.
void frmSplash::Command1_Click() {
    if (unloaded_) return;
    unloaded_ = true;
    Timer1.setEnabled(false);
    state_.voice.reset();
    platform_.window.close();
}

}  // namespace app
