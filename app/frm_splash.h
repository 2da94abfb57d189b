// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's one window: its controls, its state and every operation on
// them. Plain C++; the toolkit binding and the platform services come in
// through the ports, so tests drive it without a display.
#pragma once

#include <string>

#include "app/ports.h"
#include "app/state.h"
#include "problems/random.h"
#include "speech/speech_engine.h"
#include "ui/control.h"

namespace problems {
struct Operation;
}

namespace app {

struct Platform {
    EventPump& pump;
    Screen& screen;
    Window& window;
    ui::TimerPort& timer;
    problems::RandomSource& random;
    speech::EngineFactory createVoice;
};

class frmSplash {
public:
    // Handlers deeper than this many nested event passes are dropped, so an
    // auto-clicker cannot nest pauses until the stack runs out.
    static constexpr int kMaxNestedPasses = 32;

    frmSplash(const std::vector<ui::ControlSpec>& table, Platform platform);
    frmSplash(const frmSplash&) = delete;
    frmSplash& operator=(const frmSplash&) = delete;

    ui::Controls& controls() { return controls_; }
    State& state() { return state_; }
    const State& state() const { return state_; }
    bool unloaded() const { return unloaded_; }
    int nestedPasses() const { return passDepth_; }

    // Runs an event that came from the user or the timer; dropped while the
    // nesting bound is reached or after the window was closed.
    void dispatch(void (frmSplash::*handler)());
    // Runs the handler bound to a control as a user event.
    void dispatchControl(ui::Control& c);

    // Start-up and shutdown.
    void Form_Load();
    void Form_Click();
    void Command1_Click();

    // Speech.
    void Speak(const std::string& text);
    void Picture1_Click();
    void Picture2_Click();

    // Modes.
    void lblStandard_Click();
    void lblInteractive_Click();
    void lblTimer_Click();
    void HideModeMarkers();

    // The card.
    void lblClickMe_Click();
    void CardClickStandard();
    void CardClickInteractive();
    void NextCard();
    void ShowAnswer();
    void HideCard();
    void ShowCard();
    void ShowRangeCard();

    // Operations.
    void picPlus_Click();
    void picMinus_Click();
    void picX_Click();
    void picDivide_Click();
    void HideOperationMarkers();

    // Dealing.
    void NewProblem();
    void GenerateProblem();
    void ApplyRange();

    // Answer choices.
    void FillChoicesAddition();
    void FillChoicesSubtraction();
    void FillChoicesMultiplication();
    void FillChoicesDivision();
    void PickAnswerSlot();
    void PlaceAnswer();
    void SeparateDuplicateChoices();
    void CheckDuplicateChoices();
    void ClearChoices();
    void ResetChoiceColors();
    void lbl1_Click();
    void lbl2_Click();
    void lbl3_Click();
    void lbl4_Click();
    void lbl5_Click();
    void lbl6_Click();
    void CheckChoice();
    void SayWrongAnswer();

    // Range and timer.
    void CheckRange();
    void cmbMinNum_Click();
    void cmbMaxNum_Click();
    void lstTimer_Click();
    void Timer1_Timer();
    void ClearTimerSelection();

    // Extras.
    void img123_Click();
    void lblQuillaWrites_Click();

    static constexpr long kStartupPasses = 1'000'000;
    static constexpr long kCardPasses = 150'000;

private:
    void selectOperation(const problems::Operation& op);
    void writeLargestCard(const problems::Operation* op);
    void fillChoices(const problems::Operation& op);
    void drawWrongChoices(const problems::Operation& op);
    void pickChoice(ui::Control& tile);
    void rangePicked(ui::Control& box, std::optional<std::string>& ok, const char* announcement);
    const problems::Operation* currentOperation() const;
    void divisionCheck(const problems::Operation* op);
    void beginMode(ui::Control& marker, bool enableMaximum);
    bool takesEvents() const;
    void doEvents();
    void pause(long passes);
    void bindHandlers();

    ui::Controls controls_;
    Platform platform_;
    State state_;
    bool unloaded_ = false;
    int passDepth_ = 0;

    // Direct references to the controls the logic uses.
    ui::Control &cmdDummy, &Timer1, &Command1;
    ui::Control &picDivide, &picPlus, &picMinus, &picX;
    ui::Control &frameChoices, &frameTimer, &Picture1, &Picture2, &lblClickMe;
    ui::Control &lblTimer, &lblStandard, &lblInteractive;
    ui::Control &lbln1, &lbln2, &lblOperation, &Line1, &lbln3, &lblTimerStatus, &lblPress;
    ui::Control &img123, &lblAddition, &lblQuillaWrites;
    ui::Control &shpAddition, &shpDivision, &shpSubtraction, &shpMultiplication;
    ui::Control &shapeInteractive, &ShapeStandard, &ShapeTimer;
    ui::Control &cmbMaxNum, &cmbMinNum, &lstTimer;
    ui::Control* tiles_[6];
};

}  // namespace app
