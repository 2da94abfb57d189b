// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frm_splash.h"

#include "problems/operations.h"

namespace app {

frmSplash::frmSplash(const std::vector<ui::ControlSpec>& table, Platform platform)
    : controls_(table),
      platform_(std::move(platform)),
      cmdDummy(controls_["cmdDummy"]),
      Timer1(controls_["Timer1"]),
      Command1(controls_["Command1"]),
      picDivide(controls_["picDivide"]),
      picPlus(controls_["picPlus"]),
      picMinus(controls_["picMinus"]),
      picX(controls_["picX"]),
      frameChoices(controls_["frameChoices"]),
      frameTimer(controls_["frameTimer"]),
      Picture1(controls_["Picture1"]),
      Picture2(controls_["Picture2"]),
      lblClickMe(controls_["lblClickMe"]),
      lblTimer(controls_["lblTimer"]),
      lblStandard(controls_["lblStandard"]),
      lblInteractive(controls_["lblInteractive"]),
      lbln1(controls_["lbln1"]),
      lbln2(controls_["lbln2"]),
      lblOperation(controls_["lblOperation"]),
      Line1(controls_["Line1"]),
      lbln3(controls_["lbln3"]),
      lblTimerStatus(controls_["lblTimerStatus"]),
      lblPress(controls_["lblPress"]),
      img123(controls_["img123"]),
      lblAddition(controls_["lblAddition"]),
      lblQuillaWrites(controls_["lblQuillaWrites"]),
      shpAddition(controls_["shpAddition"]),
      shpDivision(controls_["shpDivision"]),
      shpSubtraction(controls_["shpSubtraction"]),
      shpMultiplication(controls_["shpMultiplication"]),
      shapeInteractive(controls_["shapeInteractive"]),
      ShapeStandard(controls_["ShapeStandard"]),
      ShapeTimer(controls_["ShapeTimer"]),
      cmbMaxNum(controls_["cmbMaxNum"]),
      cmbMinNum(controls_["cmbMinNum"]),
      lstTimer(controls_["lstTimer"]),
      tiles_{&controls_["lbl1"], &controls_["lbl2"], &controls_["lbl3"],
             &controls_["lbl4"], &controls_["lbl5"], &controls_["lbl6"]} {
    bindHandlers();
    Timer1.attachTimer(&platform_.timer);
}

void frmSplash::bindHandlers() {
    auto bind = [this](ui::Control& c, void (frmSplash::*h)()) { c.handler = [this, h] { (this->*h)(); }; };
    bind(controls_["frmSplash"], &frmSplash::Form_Click);
    bind(Command1, &frmSplash::Command1_Click);
    bind(lblStandard, &frmSplash::lblStandard_Click);
    bind(lblInteractive, &frmSplash::lblInteractive_Click);
    bind(lblTimer, &frmSplash::lblTimer_Click);
    bind(lblClickMe, &frmSplash::lblClickMe_Click);
    bind(Picture1, &frmSplash::Picture1_Click);
    bind(Picture2, &frmSplash::Picture2_Click);
    bind(picPlus, &frmSplash::picPlus_Click);
    bind(picMinus, &frmSplash::picMinus_Click);
    bind(picX, &frmSplash::picX_Click);
    bind(picDivide, &frmSplash::picDivide_Click);
    bind(*tiles_[0], &frmSplash::lbl1_Click);
    bind(*tiles_[1], &frmSplash::lbl2_Click);
    bind(*tiles_[2], &frmSplash::lbl3_Click);
    bind(*tiles_[3], &frmSplash::lbl4_Click);
    bind(*tiles_[4], &frmSplash::lbl5_Click);
    bind(*tiles_[5], &frmSplash::lbl6_Click);
    bind(cmbMinNum, &frmSplash::cmbMinNum_Click);
    bind(cmbMaxNum, &frmSplash::cmbMaxNum_Click);
    bind(lstTimer, &frmSplash::lstTimer_Click);
    bind(Timer1, &frmSplash::Timer1_Timer);
    bind(img123, &frmSplash::img123_Click);
    bind(lblQuillaWrites, &frmSplash::lblQuillaWrites_Click);
}

bool frmSplash::takesEvents() const { return !unloaded_ && passDepth_ < kMaxNestedPasses; }

void frmSplash::dispatch(void (frmSplash::*handler)()) {
    if (takesEvents()) (this->*handler)();
}

void frmSplash::dispatchControl(ui::Control& c) {
    if (takesEvents()) c.raise();
}

void frmSplash::doEvents() {
    ++passDepth_;
    platform_.pump.processEvents();
    --passDepth_;
}

// Every pause counts with the one shared loopIndex: a pause that runs nested
// inside another leaves the counter past its own end, which ends the outer
// pause of the same length too.
void frmSplash::pause(long passes) {
    auto& index = state_.loopIndex;
    for (index = 1; *index <= passes && !unloaded_; index = *index + 1) doEvents();
}

}  // namespace app
