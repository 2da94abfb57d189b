// The six possible answers of interactive mode.
#include <cfloat>
#include <cmath>

#include "app/frm_splash.h"
#include "problems/operations.h"
#include "choices/separate.h"
#include "problems/numbers.h"

namespace app {

using problems::kOperations;

void frmSplash::FillChoicesAddition() { fillChoices(kOperations[0]); }
void frmSplash::FillChoicesSubtraction() { fillChoices(kOperations[1]); }
void frmSplash::FillChoicesMultiplication() { fillChoices(kOperations[2]); }
void frmSplash::FillChoicesDivision() { fillChoices(kOperations[3]); }

void frmSplash::DrawWrongChoicesAddition() { drawWrongChoices(kOperations[0].wrongAnswer); }
void frmSplash::DrawWrongChoicesSubtraction() { drawWrongChoices(kOperations[1].wrongAnswer); }
void frmSplash::DrawWrongChoicesMultiplication() { drawWrongChoices(kOperations[2].wrongAnswer); }
void frmSplash::DrawWrongChoicesDivision() { drawWrongChoices(kOperations[3].wrongAnswer); }

void frmSplash::fillChoices(const problems::Operation& op) {
    s_.operationWord = op.spoken;
    ClearChoices();
    frameChoices.setVisible(true);
    const double b = problems::readNumber(lbln2.caption());
    const double a = problems::readNumber(lbln1.caption());
    const double right = op.combine(a, b);
    // An answer that single precision cannot hold ends the filling here, with
    // the six choices left empty.
    if (!std::isfinite(right) || std::fabs(right) > FLT_MAX) return;
    s_.answer = static_cast<float>(right);
    PickAnswerSlot();
    PlaceAnswer();
    drawWrongChoices(op.wrongAnswer);
    do {
        SeparateDuplicateChoices();
        CheckDuplicateChoices();
    } while (s_.duplicateChoices == "y");
}

void frmSplash::PickAnswerSlot() { s_.loopIndex = std::floor(p_.random.next() * 6.0 + 1); }

void frmSplash::PlaceAnswer() {
    const double slot = num(s_.loopIndex);
    if (slot >= 1 && slot <= 6 && s_.answer)
        tiles_[static_cast<int>(slot) - 1]->setCaption(problems::writeSingle(*s_.answer));
}

void frmSplash::drawWrongChoices(double (*wrongAnswer)(double r, double m)) {
    for (int k = 1; k <= 6; ++k) {
        if (s_.loopIndex == static_cast<double>(k)) continue;
        const double m = num(s_.maxNumber);
        const double r = p_.random.next();
        tiles_[k - 1]->setCaption(problems::writeNumber(std::floor(wrongAnswer(r, m) + 0.5)));
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
    s_.duplicateChoices = choices::hasDuplicates(board) ? "y" : "n";
}

void frmSplash::ClearChoices() {
    for (ui::Control* tile : tiles_) tile->setCaption("");
}

void frmSplash::ResetChoiceColors() {
    for (ui::Control* tile : tiles_) tile->setBackColor(ui::kWhite);
}

}  // namespace app
