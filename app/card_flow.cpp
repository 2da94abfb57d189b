// The click cycle of the flash card.
#include "app/frm_splash.h"
#include "problems/numbers.h"

namespace app {

void frmSplash::lblClickMe_Click() {
    if (s_.mode == "interactive")
        CardClickInteractive();
    else
        CardClickStandard();
}

void frmSplash::CardClickStandard() {
    if (s_.mode == "timer") return;
    CheckRange();
    if (lbln3.visible()) {
        HideCard();
        pause(kCardPasses);
        NextCard();
        if (s_.saidClickForAnswer != "y") {
            Speak("click flash card for answer");
            s_.saidClickForAnswer = "y";
        }
    } else {
        ShowAnswer();
        if (s_.saidClickToContinue != "y") {
            Speak("click flash card to continue");
            s_.saidClickToContinue = "y";
        }
    }
}

void frmSplash::CardClickInteractive() {
    if (s_.awaitingChoice != 0) return;
    HideCard();
    pause(kCardPasses);
    NextCard();
    s_.awaitingChoice = 1;
    lblPress.setCaption("click answer to the right =====>");
    Speak(lbln1.caption() + " " + s_.operationWord.value_or("") + " " + lbln2.caption());
    if (s_.saidClickCorrectAnswer != 1) {
        Speak("click on correct answer to the right");
        s_.saidClickCorrectAnswer = 1;
    }
}

void frmSplash::NextCard() {
    if (s_.mode == "timer")
        lblTimerStatus.setCaption("waiting " + problems::writeNumber(num(s_.timerInterval) / 1000) + " seconds ");
    if (s_.mode == "interactive") {
        ResetChoiceColors();
        frameChoices.setVisible(true);
        lblPress.setCaption("");
    }
    lblOperation.setVisible(true);
    Line1.setVisible(true);
    NewProblem();
}

void frmSplash::ShowAnswer() {
    ShowCard();
    Speak(lbln3.caption());
}

}  // namespace app
