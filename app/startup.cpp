// Start-up and shutdown.
#include "app/frm_splash.h"
#include "ui/control_table.h"

namespace app {

void frmSplash::Form_Load() {
    try {
        s_.voice = p_.createVoice ? p_.createVoice() : nullptr;
    } catch (...) {
        s_.voice.reset();  // no engine: the trainer runs silently
    }
    // Centre the panel on the screen and put the banner right above it.
    ui::placeAtStartup(controls_, p_.screen.widthTwips(), p_.screen.heightTwips());

    // The two selections below must not act like a pick by the child.
    s_.startupGuard = "44";
    cmdDummy.setVisible(false);
    lblTimerStatus.setCaption("");
    s_.awaitingChoice = 0;
    s_.mode = "standard";
    lstTimer.setEnabled(false);
    Timer1.setEnabled(false);
    s_.operation = "addition";
    s_.minNumber = 0;
    s_.maxNumber = 12;
    cmbMinNum.select(0);
    cmbMaxNum.select(9);
    s_.minRangeOk = "y";
    s_.maxRangeOk = "y";
    frameChoices.setVisible(false);

    // The worked example, with its answer.
    lbln1.setCaption("12");
    lbln2.setCaption("12");
    lbln3.setCaption("24");
    s_.answer = 24.0f;
    lbln1.setVisible(true);
    lbln2.setVisible(true);
    lbln3.setVisible(true);

    doEvents();
    p_.window.show();
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
    s_.voice.reset();
    p_.window.close();
}

}  // namespace app
