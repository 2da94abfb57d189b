// SPDX-License-Identifier: GPL-3.0-or-later
// The three mode buttons.
#include "app/frm_splash.h"
#include "problems/operations.h"
#include "words/words.h"

namespace app {

void frmSplash::HideModeMarkers() {
    ShapeStandard.setVisible(false);
    ShapeTimer.setVisible(false);
    shapeInteractive.setVisible(false);
}

// Division keeps the smallest operand at 1 and locks its list; the selection
// shown in the list stays as it is.
void frmSplash::divisionCheck(const problems::Operation* op) {
    if (op && op->division) {
        state_.minNumber = 1;
        cmbMinNum.setEnabled(false);
    } else {
        cmbMinNum.setEnabled(true);
    }
}

// The steps every mode button starts with: its marker, the timer stopped,
// one pass of pending events, the seconds list locked. Timer mode enables the
// maximum list only at its very end.
void frmSplash::beginMode(ui::Control& marker, bool enableMaximum) {
    HideModeMarkers();
    marker.setVisible(true);
    if (enableMaximum) cmbMaxNum.setEnabled(true);
    lblTimerStatus.setCaption("");
    Timer1.setEnabled(false);
    doEvents();
    lstTimer.setEnabled(false);
}

void frmSplash::lblStandard_Click() {
    beginMode(ShapeStandard, true);
    img123.setVisible(true);
    frameChoices.setVisible(false);
    lblPress.setCaption("click flashcard");
    state_.mode = words::kStandard;
    Speak("standard mode");
    divisionCheck(currentOperation());
    Speak("click flashcard");
}

void frmSplash::lblInteractive_Click() {
    beginMode(shapeInteractive, true);
    img123.setVisible(false);
    lblPress.setCaption("click flashcard");
    state_.awaitingChoice = words::kNoNumber;
    Speak("interactive mode");
    state_.mode = words::kInteractive;
    frameChoices.setVisible(true);
    ShowRangeCard();
    ResetChoiceColors();
    NewProblem();
    divisionCheck(currentOperation());
    Speak("click possible answers to the right");
}

void frmSplash::lblTimer_Click() {
    beginMode(ShapeTimer, false);
    img123.setVisible(true);
    frameChoices.setVisible(false);
    state_.mode = words::kTimer;
    frameTimer.setVisible(true);
    lblPress.setCaption("");
    Speak("first choose a timer value in seconds");
    ClearTimerSelection();
    lstTimer.setEnabled(true);
    divisionCheck(currentOperation());
    cmbMaxNum.setEnabled(true);
}

}  // namespace app
