// SPDX-License-Identifier: GPL-3.0-or-later
// Timer mode: the seconds list and the timer's tick.
#include "app/frm_splash.h"
#include "problems/numbers.h"
#include "words/words.h"

namespace app {

void frmSplash::lstTimer_Click() {
    cmbMinNum.setEnabled(false);
    cmbMaxNum.setEnabled(false);
    if (state_.mode != words::kTimer) return;
    Timer1.setEnabled(false);
    Speak("timer mode");
    const int index = lstTimer.selectedIndex();
    if (index == -1) {
        Timer1.setEnabled(false);
        return;
    }
    const std::string seconds = lstTimer.itemText(index);
    Speak(seconds + " seconds.");
    state_.timerInterval = problems::readNumber(seconds) * 1000;
    // The first tick always comes three seconds after the pick.
    Timer1.setInterval(3000);
    Timer1.setEnabled(true);
}

void frmSplash::Timer1_Timer() {
    Timer1.setInterval(static_cast<int>(num(state_.timerInterval)));
    if (lbln3.visible()) {
        HideCard();
        pause(kCardPasses);
        NextCard();
        // A pick during the pause has set the interval to 3000 meanwhile;
        // the following questions keep that.
        state_.timerInterval = Timer1.interval();
    } else {
        ShowAnswer();
        Timer1.setInterval(2000);
    }
}

void frmSplash::ClearTimerSelection() {
    for (int i = 0; i <= 4; ++i) lstTimer.clearSelectionMark(i);
}

}  // namespace app
