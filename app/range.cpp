// The number range: the two drop-down lists and their check.
#include "app/frm_splash.h"
#include "problems/operations.h"
#include "settings/range.h"

namespace app {

void frmSplash::CheckRange() {
    if (!settings::validRange(settings::selectedValue(cmbMinNum), settings::selectedValue(cmbMaxNum))) {
        s_.minRangeOk = "n";
        s_.maxRangeOk = "n";
        Speak("ut,oh, the minimum number must be less than or equal to the maximum number  ");
    } else {
        s_.minRangeOk = "y";
        s_.maxRangeOk = "y";
    }
}

void frmSplash::cmbMaxNum_Click() {
    // The selections made at start-up are ignored; the second of them, this
    // list's, lifts the guard.
    if (s_.startupGuard == "44") {
        s_.startupGuard = "";
        return;
    }
    rangePicked(cmbMaxNum, s_.maxRangeOk, "the maximum number is now set to ");
}

void frmSplash::cmbMinNum_Click() {
    if (s_.startupGuard == "44") return;
    rangePicked(cmbMinNum, s_.minRangeOk, "the minimum number is now set to ");
}

void frmSplash::rangePicked(ui::Control& box, std::optional<std::string>& ok, const char* announcement) {
    CheckRange();
    ApplyRange();
    // A refused range refills the choices of the card on show.
    if (s_.mode == "interactive")
        if (const problems::Operation* op = currentOperation()) fillChoices(*op);
    if (ok == "y") {
        Speak(announcement + box.itemText(box.selectedIndex()));
        ShowCard();
        ResetChoiceColors();
        NewProblem();
    }
    // The focus button is hidden, so this is refused; that is fine.
    cmdDummy.setFocus();
}

}  // namespace app
