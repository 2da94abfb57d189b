// The three mode buttons.
#include "app/frm_splash.h"

namespace app {

void frmSplash::HideModeMarkers() {
    ShapeStandard.setVisible(false);
    ShapeTimer.setVisible(false);
    shapeInteractive.setVisible(false);
}

// Division keeps the smallest operand at 1 and locks its list; the selection
// shown in the list stays as it is.
void frmSplash::divisionCheck() {
    if (s_.operation == "division") {
        s_.minNumber = 1;
        cmbMinNum.setEnabled(false);
    } else {
        cmbMinNum.setEnabled(true);
    }
}

void frmSplash::lblStandard_Click() {
    HideModeMarkers();
    ShapeStandard.setVisible(true);
    cmbMaxNum.setEnabled(true);
    lblTimerStatus.setCaption("");
    Timer1.setEnabled(false);
    doEvents();
    lstTimer.setEnabled(false);
    img123.setVisible(true);
    frameChoices.setVisible(false);
    lblPress.setCaption("click flashcard");
    s_.mode = "standard";
    Speak("standard mode");
    divisionCheck();
    Speak("click flashcard");
}

void frmSplash::lblInteractive_Click() {
    HideModeMarkers();
    shapeInteractive.setVisible(true);
    cmbMaxNum.setEnabled(true);
    lblTimerStatus.setCaption("");
    Timer1.setEnabled(false);
    doEvents();
    lstTimer.setEnabled(false);
    img123.setVisible(false);
    lblPress.setCaption("click flashcard");
    s_.awaitingChoice = 0;
    Speak("interactive mode");
    s_.mode = "interactive";
    frameChoices.setVisible(true);
    ShowRangeCard();
    ResetChoiceColors();
    NewProblem();
    divisionCheck();
    Speak("click possible answers to the right");
}

void frmSplash::lblTimer_Click() {
    HideModeMarkers();
    ShapeTimer.setVisible(true);
    lblTimerStatus.setCaption("");
    Timer1.setEnabled(false);
    doEvents();
    lstTimer.setEnabled(false);
    img123.setVisible(true);
    frameChoices.setVisible(false);
    s_.mode = "timer";
    frameTimer.setVisible(true);
    lblPress.setCaption("");
    Speak("first choose a timer value in seconds");
    ClearTimerSelection();
    lstTimer.setEnabled(true);
    divisionCheck();
    cmbMaxNum.setEnabled(true);
}

}  // namespace app
