// SPDX-License-Identifier: GPL-3.0-or-later
// The number range: the two drop-down lists and their check.
#include "app/frm_splash.h"
#include "problems/operations.h"
#include "settings/range.h"
#include "words/words.h"

namespace app {

void frmSplash::CheckRange() {
    const bool valid = settings::validRange(settings::selectedValue(cmbMinNum), settings::selectedValue(cmbMaxNum));
    state_.minRangeOk = valid ? words::kYes : words::kNo;
    state_.maxRangeOk = state_.minRangeOk;
    if (!valid) Speak("ut,oh, the minimum number must be less than or equal to the maximum number  ");
}

void frmSplash::cmbMaxNum_Click() {
    // The selections made at start-up are ignored; the second of them, this
    // list's, lifts the guard.
    if (state_.startupGuard == words::kStartupGuard) {
        state_.startupGuard = words::kGuardLifted;
        return;
    }
    rangePicked(cmbMaxNum, state_.maxRangeOk, "the maximum number is now set to ");
}

void frmSplash::cmbMinNum_Click() {
    if (state_.startupGuard == words::kStartupGuard) return;
    rangePicked(cmbMinNum, state_.minRangeOk, "the minimum number is now set to ");
}

void frmSplash::rangePicked(ui::Control& box, std::optional<std::string>& ok, const char* announcement) {
    CheckRange();
    ApplyRange();
    // A refused range refills the choices of the card on show.
    if (state_.mode == words::kInteractive)
        if (const problems::Operation* op = currentOperation()) fillChoices(*op);
    if (ok == words::kYes) {
        Speak(announcement + box.itemText(box.selectedIndex()));
        ShowCard();
        ResetChoiceColors();
        NewProblem();
    }
    // The focus button is hidden, so this is refused; that is fine.
    cmdDummy.setFocus();
}

}  // namespace app
