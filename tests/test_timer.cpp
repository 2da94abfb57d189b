// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>

#include "testbed/fakes.h"

using testbed::Rig;

namespace {

// What the card shows at a moment: 'Q' question, 'A' answer.
char cardState(Rig& rig) { return rig["lbln3"].visible() ? 'A' : 'Q'; }

}  // namespace

TEST(Timer, AfterAPickTheCardRunsByItselfAtTheChosenCadence) {
    Rig rig;
    rig.started();
    rig.click("lblTimer");
    rig.click("lblClickMe");  // a standard-cycle click does nothing here
    EXPECT_EQ(cardState(rig), 'A');
    rig.said().clear();
    rig.pickText("lstTimer", "5");
    EXPECT_EQ(rig.said(), (std::vector<std::string>{"timer mode", "5 seconds."}));
    EXPECT_FALSE(rig["cmbMinNum"].enabled());
    EXPECT_FALSE(rig["cmbMaxNum"].enabled());
    EXPECT_EQ(rig.s().timerInterval, 5000.0);

    // The example card shows its answer: 3 s after the pick the next question.
    EXPECT_EQ(rig.timer.advance(2999).size(), 0u);
    EXPECT_EQ(rig.timer.advance(1).size(), 1u);
    EXPECT_EQ(cardState(rig), 'Q');
    EXPECT_EQ(rig["lblTimerStatus"].caption(), "waiting 5 seconds ");
    std::int64_t t = rig.timer.now;
    rig.said().clear();
    // Then, card after card: question for 5 s, answer for 2 s.
    for (int card = 0; card < 500; ++card) {
        auto ticks = rig.timer.advance(5000);
        ASSERT_EQ(ticks, std::vector<std::int64_t>{t + 5000});
        ASSERT_EQ(cardState(rig), 'A');
        ASSERT_EQ(rig["lblTimerStatus"].caption(), "");
        ASSERT_EQ(rig.said().back(), rig["lbln3"].caption());
        ticks = rig.timer.advance(2000);
        ASSERT_EQ(ticks, std::vector<std::int64_t>{t + 7000});
        ASSERT_EQ(cardState(rig), 'Q');
        ASSERT_EQ(rig["lblTimerStatus"].caption(), "waiting 5 seconds ");
        t += 7000;
    }
    // Only answers are spoken while it runs.
    EXPECT_EQ(rig.said().size(), 500u);
}

TEST(Timer, APickWhileAQuestionShowsRevealsThreeSecondsLater) {
    Rig rig;
    rig.started();
    rig.click("lblStandard");
    rig.click("lblClickMe");  // a question on the card
    rig.click("lblTimer");
    rig.pickText("lstTimer", "2");
    rig.said().clear();
    rig.timer.advance(3000);
    EXPECT_EQ(cardState(rig), 'A');
    EXPECT_EQ(rig.said(), std::vector<std::string>{rig["lbln3"].caption()});
    rig.timer.advance(2000);
    EXPECT_EQ(cardState(rig), 'Q');
    rig.timer.advance(1999);
    EXPECT_EQ(cardState(rig), 'Q');
    rig.timer.advance(1);
    EXPECT_EQ(cardState(rig), 'A');
}

TEST(Timer, APickDuringThePauseLeavesThreeSecondQuestions) {
    Rig rig;
    rig.started();
    rig.click("lblTimer");
    rig.pickText("lstTimer", "6");
    bool picked = false;
    rig.pump.onPass = [&](long) {
        if (!picked && rig.frm.nestedPasses() == 1 && rig.timer.now > 0) {
            picked = true;
            rig.pickText("lstTimer", "4");
        }
    };
    rig.timer.advance(3000);  // the tick that blanks, pauses and deals
    ASSERT_TRUE(picked);
    rig.pump.onPass = nullptr;
    EXPECT_EQ(rig["lblTimerStatus"].caption(), "waiting 4 seconds ");
    EXPECT_EQ(rig.s().timerInterval, 3000.0);
    // The pick restarted the countdown at 3 s; then questions stay 3 s.
    const std::int64_t start = rig.timer.now;
    auto ticks = rig.timer.advance(20000);
    ASSERT_GE(ticks.size(), 4u);
    EXPECT_EQ(ticks[0] - start, 3000);  // reveal
    EXPECT_EQ(ticks[1] - ticks[0], 2000);
    EXPECT_EQ(ticks[2] - ticks[1], 3000);
    EXPECT_EQ(ticks[3] - ticks[2], 2000);
}

TEST(Timer, StoppingAndPicksWithoutEffect) {
    Rig rig;
    rig.started();
    // A pick outside timer mode only locks the range lists.
    rig["lstTimer"].setEnabled(true);
    rig.pickText("lstTimer", "3");
    EXPECT_TRUE(rig.said().empty());
    EXPECT_FALSE(rig["Timer1"].enabled());
    EXPECT_FALSE(rig["cmbMinNum"].enabled());

    rig.click("lblTimer");
    rig.said().clear();
    rig.pick("lstTimer", -1);  // nothing selected
    EXPECT_EQ(rig.said(), std::vector<std::string>{"timer mode"});
    EXPECT_FALSE(rig["Timer1"].enabled());

    rig.pickText("lstTimer", "2");
    rig.timer.advance(3000);
    rig.click("frmSplash");  // the bare window stops the cycle
    const auto card = rig["lbln1"].caption() + rig["lbln3"].caption();
    EXPECT_TRUE(rig.timer.advance(60000).empty());
    EXPECT_EQ(rig["lbln1"].caption() + rig["lbln3"].caption(), card);

    rig.pickText("lstTimer", "2");
    rig.click("lblInteractive");  // leaving timer mode stops it too
    EXPECT_TRUE(rig.timer.advance(60000).empty());
    rig.click("lblTimer");
    EXPECT_EQ(rig["lstTimer"].selectedIndex(), -1);
    EXPECT_TRUE(rig.timer.advance(60000).empty());
}

TEST(Timer, ManyCardsInFakeTimeKeepEveryDealSound) {
    Rig rig;
    rig.started();
    rig.click("picMinus");
    rig.click("lblTimer");
    rig.pickText("lstTimer", "2");
    for (int i = 0; i < 2000; ++i) {
        rig.timer.advance(1000);
        if (cardState(rig) == 'Q') {
            ASSERT_GE(std::stod(rig["lbln1"].caption()), std::stod(rig["lbln2"].caption()));
        }
    }
}

TEST(Timer, TicksArrivingInsidePassesNestNoDeeperThanTheBound) {
    Rig rig;
    rig.started();
    rig.click("lblTimer");
    rig.pickText("lstTimer", "2");
    long delivered = 0;
    int deepest = 0;
    // A due tick in every pass: each second one blanks the card and pauses,
    // so without the bound the pauses would nest a level per two ticks.
    rig.pump.onPass = [&](long) {
        deepest = std::max(deepest, rig.frm.nestedPasses());
        if (delivered < 1000) {
            ++delivered;
            rig.timer.onTick();
        }
    };
    rig.timer.advance(3000);
    EXPECT_EQ(delivered, 1000);
    EXPECT_EQ(deepest, app::frmSplash::kMaxNestedPasses);
    EXPECT_EQ(rig.frm.nestedPasses(), 0);
    EXPECT_TRUE(rig["lbln1"].visible());
}
