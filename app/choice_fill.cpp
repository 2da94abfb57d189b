// SPDX-License-Identifier: GPL-3.0-or-later
// The six possible answers of interactive mode.
#include <cfloat>
#include <cmath>

#include "app/frm_splash.h"
#include "problems/operations.h"
#include "choices/separate.h"
#include "problems/numbers.h"
#include "words/words.h"

namespace app {

using problems::kOperations;

void frmSplash::FillChoicesAddition() { fillChoices(kOperations[problems::kAdditionIndex]); }
void frmSplash::FillChoicesSubtraction() { fillChoices(kOperations[problems::kSubtractionIndex]); }
void frmSplash::FillChoicesMultiplication() { fillChoices(kOperations[problems::kMultiplicationIndex]); }
void frmSplash::FillChoicesDivision() { fillChoices(kOperations[problems::kDivisionIndex]); }

void frmSplash::fillChoices(const problems::Operation& op) {
    state_.operationWord = op.spoken;
    ClearChoices();
    frameChoices.setVisible(true);
    const double b = problems::readNumber(lbln2.caption());
    const double a = problems::readNumber(lbln1.caption());
    const auto right = problems::workedAnswer(op, a, b);
    // An answer that single precision cannot hold ends the filling here, with
    // the six choices left empty.
    if (!right || std::fabs(*right) > FLT_MAX) return;
    state_.answer = static_cast<float>(*right);
    PickAnswerSlot();
    PlaceAnswer();
    drawWrongChoices(op);
    do {
        SeparateDuplicateChoices();
        CheckDuplicateChoices();
    } while (state_.duplicateChoices == words::kYes);
}

void frmSplash::PickAnswerSlot() { state_.loopIndex = std::floor(platform_.random.next() * 6.0 + 1); }

void frmSplash::PlaceAnswer() {
    const double slot = num(state_.loopIndex);
    if (slot >= 1 && slot <= 6 && state_.answer)
        tiles_[static_cast<int>(slot) - 1]->setCaption(problems::writeSingle(*state_.answer));
}

void frmSplash::drawWrongChoices(const problems::Operation& op) {
    for (int k = 1; k <= 6; ++k) {
        if (state_.loopIndex == static_cast<double>(k)) continue;
        const double m = num(state_.maxNumber);
        const double r = platform_.random.next();
        tiles_[k - 1]->setCaption(problems::writeNumber(std::floor(op.wrongAnswer(r, m) + 0.5)));
    }
}

void frmSplash::SeparateDuplicateChoices() {
    choices::Board board;
    for (int k = 0; k < 6; ++k) board[k] = tiles_[k]->caption();
    choices::separateDuplicates(board);
    for (int k = 0; k < 6; ++k) tiles_[k]->setCaption(std::move(board[k]));
}

void frmSplash::CheckDuplicateChoices() {
    choices::Board board;
    for (int k = 0; k < 6; ++k) board[k] = tiles_[k]->caption();
    state_.duplicateChoices = choices::hasDuplicates(board) ? words::kYes : words::kNo;
}

void frmSplash::ClearChoices() {
    for (ui::Control* tile : tiles_) tile->setCaption("");
}

void frmSplash::ResetChoiceColors() {
    for (ui::Control* tile : tiles_) tile->setBackColor(ui::kWhite);
}

}  // namespace app
