// SPDX-License-Identifier: GPL-3.0-or-later
// The click cycle of the flash card.
#include "app/frm_splash.h"
#include "problems/numbers.h"
#include "words/words.h"

namespace app {

void frmSplash::lblClickMe_Click() {
    if (state_.mode == words::kInteractive)
        CardClickInteractive();
    else
        CardClickStandard();
}

void frmSplash::CardClickStandard() {
    if (state_.mode == words::kTimer) return;
    CheckRange();
    if (lbln3.visible()) {
        HideCard();
        pause(kCardPasses);
        NextCard();
        if (state_.saidClickForAnswer != words::kYes) {
            Speak("click flash card for answer");
            state_.saidClickForAnswer = words::kYes;
        }
    } else {
        ShowAnswer();
        if (state_.saidClickToContinue != words::kYes) {
            Speak("click flash card to continue");
            state_.saidClickToContinue = words::kYes;
        }
    }
}

void frmSplash::CardClickInteractive() {
    if (state_.awaitingChoice != words::kNoNumber) return;
    HideCard();
    pause(kCardPasses);
    NextCard();
    state_.awaitingChoice = words::kYesNumber;
    lblPress.setCaption("click answer to the right =====>");
    Speak(lbln1.caption() + " " + state_.operationWord.value_or("") + " " + lbln2.caption());
    if (state_.saidClickCorrectAnswer != words::kYesNumber) {
        Speak("click on correct answer to the right");
        state_.saidClickCorrectAnswer = words::kYesNumber;
    }
}

void frmSplash::NextCard() {
    if (state_.mode == words::kTimer)
        lblTimerStatus.setCaption("waiting " + problems::writeNumber(num(state_.timerInterval) / 1000) + " seconds ");
    if (state_.mode == words::kInteractive) {
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
