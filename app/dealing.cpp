// SPDX-License-Identifier: GPL-3.0-or-later
// Dealing cards: random operands within the range, one rule per operation.
#include <cmath>

#include "app/frm_splash.h"
#include "problems/operations.h"
#include "problems/numbers.h"
#include "settings/range.h"
#include "words/words.h"

namespace app {

void frmSplash::NewProblem() {
    const problems::Operation* op = currentOperation();
    if (!op) return;
    GenerateProblem();
    if (state_.mode == words::kInteractive) fillChoices(*op);
}

void frmSplash::GenerateProblem() {
    using problems::readNumber;
    using problems::writeNumber;
    HideCard();
    // The sentinel lies above every range the child can choose, so each
    // number is drawn at least once.
    lbln1.setCaption("111");
    lbln2.setCaption("111");

    auto top = [&] { return readNumber(lbln1.caption()); };
    auto bottom = [&] { return readNumber(lbln2.caption()); };
    auto inRange = [&](double v) { return num(state_.minNumber) <= v && v <= num(state_.maxNumber); };
    auto draw = [&](ui::Control& label) {
        platform_.random.reseed();
        const float r = platform_.random.next();
        label.setCaption(writeNumber(std::floor((num(state_.maxNumber) + 1) * r)));
    };

    const problems::Operation* op = currentOperation();
    if (op && op->division) {
        platform_.random.reseed();
        if (state_.minNumber == 0.0) state_.minNumber = 1;
        while (!inRange(top())) draw(lbln1);
        // The divisor is drawn among 1 .. max + 1 without re-seeding until it
        // divides the top number; max + 1 never does.
        double q;
        do {
            const float r = platform_.random.next();
            lbln2.setCaption(writeNumber(std::floor((num(state_.maxNumber) + 1) * r + 1)));
            q = top() / bottom();
        } while (std::floor(q) != q);
    } else if (op) {
        while (!inRange(top())) draw(lbln1);
        if (op->index == problems::kSubtractionIndex)
            while (!(inRange(bottom()) && top() - bottom() >= 0)) draw(lbln2);
        else
            while (!inRange(bottom())) draw(lbln2);
    }

    doEvents();
    lbln1.setVisible(true);
    lbln2.setVisible(true);
}

void frmSplash::ApplyRange() {
    lbln3.setCaption("");
    if (state_.maxRangeOk != words::kYes) return;
    state_.minNumber = settings::selectedValue(cmbMinNum);
    state_.maxNumber = settings::selectedValue(cmbMaxNum);
    writeLargestCard(currentOperation());
}

}  // namespace app
