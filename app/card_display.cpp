// SPDX-License-Identifier: GPL-3.0-or-later
// Showing and hiding the card.
#include "app/frm_splash.h"
#include "problems/operations.h"
#include "problems/numbers.h"
#include "words/words.h"

namespace app {

void frmSplash::HideCard() {
    lbln1.setVisible(false);
    lbln2.setVisible(false);
    lbln3.setVisible(false);
}

void frmSplash::ShowCard() {
    if (state_.mode == words::kTimer) lblTimerStatus.setCaption("");
    if (const problems::Operation* op = currentOperation()) {
        const double bottom = problems::readNumber(lbln2.caption());
        const double top = problems::readNumber(lbln1.caption());
        // A calculation that cannot be carried out (a zero divisor) leaves
        // the answer as it was; the card is shown all the same.
        if (const auto answer = problems::workedAnswer(*op, top, bottom))
            lbln3.setCaption(problems::writeNumber(*answer));
    }
    lbln1.setVisible(true);
    lbln2.setVisible(true);
    lbln3.setVisible(true);
    lblOperation.setVisible(true);
    Line1.setVisible(true);
}

void frmSplash::ShowRangeCard() {
    Line1.setVisible(true);
    lblOperation.setVisible(true);
    lbln1.setVisible(false);
    lbln2.setVisible(false);
    lbln3.setVisible(false);
    const problems::Operation* op = currentOperation();
    if (op) state_.operationWord = op->spoken;
    writeLargestCard(op);
    lbln1.setVisible(true);
    lbln2.setVisible(true);
    lbln3.setVisible(true);
}

}  // namespace app
