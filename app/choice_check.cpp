// SPDX-License-Identifier: GPL-3.0-or-later
// Judging a pick among the six possible answers.
#include "app/frm_splash.h"
#include "choices/judge.h"
#include "problems/numbers.h"
#include "words/words.h"

namespace app {

void frmSplash::lbl1_Click() { pickChoice(*tiles_[0]); }
void frmSplash::lbl2_Click() { pickChoice(*tiles_[1]); }
void frmSplash::lbl3_Click() { pickChoice(*tiles_[2]); }
void frmSplash::lbl4_Click() { pickChoice(*tiles_[3]); }
void frmSplash::lbl5_Click() { pickChoice(*tiles_[4]); }
void frmSplash::lbl6_Click() { pickChoice(*tiles_[5]); }

void frmSplash::pickChoice(ui::Control& tile) {
    if (choices::isRightAnswer(state_.answer, tile.caption())) {
        CheckChoice();
        tile.setBackColor(ui::kGreen);
        lblPress.setCaption("click flashcard");
    } else {
        SayWrongAnswer();
        tile.setBackColor(ui::kRed);
    }
}

void frmSplash::CheckChoice() {
    const std::string text = state_.answer ? problems::writeSingle(*state_.answer) : std::string();
    Speak(text);
    state_.awaitingChoice = words::kNoNumber;
    lbln3.setCaption(text);
    lbln3.setVisible(true);
}

void frmSplash::SayWrongAnswer() { Speak("wrong answer, try again"); }

}  // namespace app
