// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing the operation with the four pictures.
#include "app/frm_splash.h"
#include "problems/operations.h"
#include "problems/numbers.h"
#include "words/words.h"

namespace app {

using problems::kOperations;

void frmSplash::picPlus_Click() { selectOperation(kOperations[problems::kAdditionIndex]); }
void frmSplash::picMinus_Click() { selectOperation(kOperations[problems::kSubtractionIndex]); }
void frmSplash::picX_Click() { selectOperation(kOperations[problems::kMultiplicationIndex]); }
void frmSplash::picDivide_Click() { selectOperation(kOperations[problems::kDivisionIndex]); }

const problems::Operation* frmSplash::currentOperation() const { return problems::findOperation(state_.operation); }

void frmSplash::HideOperationMarkers() {
    shpAddition.setVisible(false);
    shpSubtraction.setVisible(false);
    shpMultiplication.setVisible(false);
    shpDivision.setVisible(false);
}

void frmSplash::selectOperation(const problems::Operation& op) {
    ui::Control* const marks[problems::kOperationCount] = {&shpAddition, &shpSubtraction, &shpMultiplication,
                                                            &shpDivision};
    divisionCheck(&op);
    if (!op.division) cmbMaxNum.setEnabled(true);
    lblAddition.setCaption(op.word);
    state_.operation = op.word;
    HideOperationMarkers();
    marks[op.index]->setVisible(true);
    Speak(op.word);
    lblOperation.setCaption(op.sign);
    if (state_.mode == words::kInteractive) {
        state_.awaitingChoice = words::kNoNumber;
        ClearChoices();
    }
    // The largest card of the range, which the new card replaces at once.
    writeLargestCard(&op);
    lbln3.setVisible(true);
    ResetChoiceColors();
    NewProblem();
}

// The largest card of the range: both numbers the maximum, and the answer
// when it can be worked out (otherwise the answer caption stays as it was).
void frmSplash::writeLargestCard(const problems::Operation* op) {
    const double m = num(state_.maxNumber);
    lbln1.setCaption(problems::writeNumber(m));
    lbln2.setCaption(problems::writeNumber(m));
    if (!op) return;
    if (const auto answer = problems::workedAnswer(*op, m, m)) lbln3.setCaption(problems::writeNumber(*answer));
}

}  // namespace app
