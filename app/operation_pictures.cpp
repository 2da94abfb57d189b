// Choosing the operation with the four pictures.
#include <cmath>

#include "app/frm_splash.h"
#include "app/operation.h"
#include "problems/numbers.h"

namespace app {

const frmSplash::Operation kOperations[kOperationCount] = {
    {"addition", "plus", "+", 0, [](double a, double b) { return a + b; },
     [](double r, double m) { return r * 2 * m; }, false},
    {"subtraction", "minus", "-", 1, [](double a, double b) { return a - b; },
     [](double r, double m) { return r * m; }, false},
    {"multiplication", "times", "x", 2, [](double a, double b) { return a * b; },
     [](double r, double m) { return r * (m * m); }, false},
    {"division", "divided by", "/", 3, [](double a, double b) { return a / b; },
     [](double r, double m) { return r * m / 2; }, true},
};

const frmSplash::Operation* frmSplash::findOperation(const std::optional<std::string>& word) {
    if (!word) return nullptr;
    for (const auto& op : kOperations)
        if (*word == op.word) return &op;
    return nullptr;
}

void frmSplash::picPlus_Click() { selectOperation(kOperations[0]); }
void frmSplash::picMinus_Click() { selectOperation(kOperations[1]); }
void frmSplash::picX_Click() { selectOperation(kOperations[2]); }
void frmSplash::picDivide_Click() { selectOperation(kOperations[3]); }

void frmSplash::HideOperationMarkers() {
    shpAddition.setVisible(false);
    shpSubtraction.setVisible(false);
    shpMultiplication.setVisible(false);
    shpDivision.setVisible(false);
}

void frmSplash::selectOperation(const Operation& op) {
    ui::Control* const marks[kOperationCount] = {&shpAddition, &shpSubtraction, &shpMultiplication, &shpDivision};
    if (op.division) {
        s_.minNumber = 1;
        cmbMinNum.setEnabled(false);
    } else {
        cmbMinNum.setEnabled(true);
        cmbMaxNum.setEnabled(true);
    }
    lblAddition.setCaption(op.word);
    s_.operation = op.word;
    HideOperationMarkers();
    marks[op.index]->setVisible(true);
    Speak(op.word);
    lblOperation.setCaption(op.sign);
    if (s_.mode == "interactive") {
        s_.awaitingChoice = 0;
        ClearChoices();
    }
    // The largest card of the range, which the new card replaces at once.
    const double m = num(s_.maxNumber);
    lbln1.setCaption(problems::writeNumber(m));
    lbln2.setCaption(problems::writeNumber(m));
    const double largest = op.combine(m, m);
    if (std::isfinite(largest)) lbln3.setCaption(problems::writeNumber(largest));
    lbln3.setVisible(true);
    ResetChoiceColors();
    NewProblem();
}

}  // namespace app
