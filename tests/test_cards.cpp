// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "problems/numbers.h"
#include "testbed/fakes.h"

using testbed::Rig;
using problems::readNumber;

namespace {

const char* const kOps[] = {"addition", "subtraction", "multiplication", "division"};

void setCard(Rig& rig, const char* top, const char* bottom) {
    rig["lbln1"].setCaption(top);
    rig["lbln2"].setCaption(bottom);
}

// Checks a freshly dealt card and, in interactive mode, its six choices.
void expectSoundDeal(Rig& rig, const std::string& op, double min, double max) {
    const double top = readNumber(rig["lbln1"].caption());
    const double bottom = readNumber(rig["lbln2"].caption());
    ASSERT_NE(rig["lbln1"].caption(), "111");
    ASSERT_NE(rig["lbln2"].caption(), "111");
    ASSERT_TRUE(rig["lbln1"].visible());
    ASSERT_FALSE(rig["lbln3"].visible());
    const double lo = op == "division" ? std::max(min, 1.0) : min;
    ASSERT_GE(top, lo);
    ASSERT_LE(top, max);
    if (op == "division") {
        ASSERT_GE(bottom, 1);
        ASSERT_EQ(std::floor(top / bottom), top / bottom);
    } else {
        ASSERT_GE(bottom, min);
        ASSERT_LE(bottom, max);
        if (op == "subtraction") {
            ASSERT_GE(top - bottom, 0);
        }
    }
    const auto tiles = rig.tiles();
    std::set<std::string> distinct(tiles.begin(), tiles.end());
    ASSERT_EQ(distinct.size(), 6u);
    int right = 0;
    for (const auto& t : tiles) right += static_cast<float>(readNumber(t)) == rig.s().answer;
    ASSERT_EQ(right, 1);
}

double chiSquare(const std::map<int, long>& counts) {
    long total = 0;
    for (auto& [k, c] : counts) total += c;
    const double expected = static_cast<double>(total) / counts.size();
    double chi = 0;
    for (auto& [k, c] : counts) chi += (c - expected) * (c - expected) / expected;
    return chi;
}

}  // namespace

TEST(Presentation, ShowCardComputesFromTheCaptions) {
    Rig rig;
    rig.started();
    const char* expected[] = {"13", "5", "36", "2.25"};
    for (int i = 0; i < 4; ++i) {
        rig.s().operation = kOps[i];
        setCard(rig, "9", "4");
        rig.frm.HideCard();
        rig.frm.ShowCard();
        EXPECT_EQ(rig["lbln3"].caption(), expected[i]) << kOps[i];
        for (const char* n : {"lbln1", "lbln2", "lbln3", "lblOperation", "Line1"}) EXPECT_TRUE(rig[n].visible());
    }
    // A zero divisor leaves the answer as it was; the card still shows.
    setCard(rig, "9", "0");
    rig.frm.HideCard();
    rig.frm.ShowCard();
    EXPECT_EQ(rig["lbln3"].caption(), "2.25");
    EXPECT_TRUE(rig["lbln3"].visible());
    // The status line is emptied in timer mode only.
    rig["lblTimerStatus"].setCaption("waiting 3 seconds ");
    rig.frm.ShowCard();
    EXPECT_EQ(rig["lblTimerStatus"].caption(), "waiting 3 seconds ");
    rig.s().mode = "timer";
    rig.frm.ShowCard();
    EXPECT_EQ(rig["lblTimerStatus"].caption(), "");
}

TEST(Presentation, HideCardKeepsSignRuleAndCaptions) {
    Rig rig;
    rig.started();
    rig.frm.HideCard();
    for (const char* n : {"lbln1", "lbln2", "lbln3"}) EXPECT_FALSE(rig[n].visible());
    EXPECT_TRUE(rig["lblOperation"].visible());
    EXPECT_TRUE(rig["Line1"].visible());
    EXPECT_EQ(rig["lbln3"].caption(), "24");
}

TEST(Presentation, RangeCardAndApplyRangeWriteTheLargestCard) {
    Rig rig;
    rig.started();
    const char* results[] = {"24", "0", "144", "1"};
    const char* words[] = {"plus", "minus", "times", "divided by"};
    for (int i = 0; i < 4; ++i) {
        rig.s().operation = kOps[i];
        rig.frm.ShowRangeCard();
        EXPECT_EQ(rig["lbln1"].caption(), "12");
        EXPECT_EQ(rig["lbln2"].caption(), "12");
        EXPECT_EQ(rig["lbln3"].caption(), results[i]);
        EXPECT_EQ(rig.s().operationWord, words[i]);
        EXPECT_TRUE(rig["lbln3"].visible());
        rig["lbln3"].setCaption("x");
        rig.frm.ApplyRange();
        EXPECT_EQ(rig["lbln3"].caption(), results[i]);
    }
    EXPECT_TRUE(rig.said().empty());  // neither speaks
    // With a refused range only the answer caption is emptied.
    rig.s().maxRangeOk = "n";
    rig.s().minNumber = 3;
    rig.frm.ApplyRange();
    EXPECT_EQ(rig["lbln3"].caption(), "");
    EXPECT_EQ(rig.s().minNumber, 3.0);
    EXPECT_EQ(rig["lbln1"].caption(), "12");
}

TEST(Choices, TheWorkedExampleWithScriptedDraws) {
    Rig rig;
    rig.started();
    setCard(rig, "3", "4");
    const long before = rig.random.draws;
    rig.random.script = {0.5f, 7 / 24.f, 3 / 24.f, 3 / 24.f, 8 / 24.f, 12 / 24.f};
    rig.frm.FillChoicesAddition();
    EXPECT_EQ(rig.random.draws - before, 6);
    EXPECT_EQ(rig.s().answer, 7.0f);
    EXPECT_EQ(rig.s().operationWord, "plus");
    EXPECT_EQ(rig.tiles(), (std::vector<std::string>{"7", "3", "4", "8", "9", "12"}));
    EXPECT_EQ(rig.s().duplicateChoices, "n");
    EXPECT_TRUE(rig["frameChoices"].visible());
    // Judged by value: lbl1 is right now, lbl4 (where the answer was placed) wrong.
    rig.click("lbl4");
    EXPECT_EQ(rig["lbl4"].backColor(), ui::kRed);
    rig.click("lbl1");
    EXPECT_EQ(rig["lbl1"].backColor(), ui::kGreen);
}

// The same five draws through each operation's wrong-answer range (M = 12),
// none near a rounding edge and none landing on the right answer, so the
// board shows the formulas' values unseparated; the answer sits in lbl4.
TEST(Choices, EachOperationScalesTheDrawsByItsOwnRange) {
    struct Row {
        void (app::frmSplash::*fill)();
        std::vector<std::string> tiles;
    };
    const Row rows[] = {
        {&app::frmSplash::FillChoicesAddition, {"1", "7", "14", "24", "19", "23"}},        // r x 24
        {&app::frmSplash::FillChoicesSubtraction, {"1", "4", "7", "0", "10", "11"}},       // r x 12
        {&app::frmSplash::FillChoicesMultiplication, {"7", "43", "86", "144", "115", "137"}},  // r x 144
        {&app::frmSplash::FillChoicesDivision, {"0", "2", "4", "1", "5", "6"}},            // r x 6
    };
    Rig rig;
    rig.started();
    for (const auto& row : rows) {
        setCard(rig, "12", "12");
        rig.random.script = {0.5f, 0.05f, 0.3f, 0.6f, 0.8f, 0.95f};
        (rig.frm.*row.fill)();
        EXPECT_EQ(rig.tiles(), row.tiles);
    }
}

TEST(Choices, AllEqualEndsAsARunAndEveryFillingDrawsSix) {
    Rig rig;
    rig.started();
    rig.s().maxNumber = 3;
    setCard(rig, "3", "3");
    for (float slot : {0.0f, 0.4f, 0.99f}) {
        rig.random.script = {slot, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
        const long before = rig.random.draws;
        rig.frm.FillChoicesDivision();
        EXPECT_EQ(rig.random.draws - before, 6);
        EXPECT_EQ(rig.tiles(), (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
    }
    // Wrong answers ignore the minimum and stay within 0 .. R rounded.
    rig.s().maxNumber = 12;
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        setCard(rig, "12", "12");
        rig.random.script = {0.0f};  // answer in slot 1; the rest as drawn
        rig.frm.FillChoicesDivision();
        const auto t = rig.tiles();
        EXPECT_EQ(t[0], "1");
        // Before separation the wrong answers lie in 0 .. 6.
        for (int k = 1; k < 6; ++k) seen.insert(static_cast<int>(readNumber(t[k])));
    }
    EXPECT_EQ(*seen.begin(), 0);
    EXPECT_LE(*seen.rbegin(), 6 + 5);
}

TEST(Choices, ClearAndResetTouchOnlyTheirProperty) {
    Rig rig;
    rig.started();
    rig.frm.FillChoicesMultiplication();
    rig["lbl2"].setBackColor(ui::kRed);
    rig.frm.ResetChoiceColors();
    for (const char* n : {"lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6"}) EXPECT_EQ(rig[n].backColor(), ui::kWhite);
    EXPECT_NE(rig.tiles()[0], "");
    rig.frm.ClearChoices();
    EXPECT_EQ(rig.tiles(), std::vector<std::string>(6, ""));
}

TEST(Dealing, EdgesOfTheRange) {
    Rig rig;
    rig.started();
    rig.s().minNumber = 5;
    rig.s().maxNumber = 5;
    for (int i = 0; i < 4; ++i) {
        rig.s().operation = kOps[i];
        for (int n = 0; n < 50; ++n) {
            rig.frm.NewProblem();
            EXPECT_EQ(rig["lbln1"].caption(), "5");
            const auto b = rig["lbln2"].caption();
            if (i == 3) {
                EXPECT_TRUE(b == "1" || b == "5") << b;
            } else {
                EXPECT_EQ(b, "5");
            }
        }
    }
    // Division raises a minimum of 0 to 1 for good.
    rig.s().minNumber = 0;
    rig.s().maxNumber = 12;
    rig["lbln3"].setCaption("kept");
    rig.frm.NewProblem();
    EXPECT_EQ(rig.s().minNumber, 1.0);
    EXPECT_EQ(rig["lbln3"].caption(), "kept");
    rig.s().operation = "addition";
    rig.frm.NewProblem();
    EXPECT_EQ(rig.s().minNumber, 1.0);
}

TEST(Dealing, EveryOperationOverAGridOfRangesStaysSound) {
    Rig rig(true, 99);
    rig.started();
    rig.s().mode = "interactive";
    const auto& mins = rig["cmbMinNum"].design().items;
    const auto& maxs = rig["cmbMaxNum"].design().items;
    long deals = 0;
    for (const auto& lo : mins)
        for (const auto& hi : maxs) {
            const double min = readNumber(lo), max = readNumber(hi);
            if (min > max) continue;
            for (const char* op : kOps) {
                for (int n = 0; n < 8; ++n) {
                    rig.s().operation = op;
                    rig.s().minNumber = min;
                    rig.s().maxNumber = max;
                    rig.frm.NewProblem();
                    expectSoundDeal(rig, op, min, max);
                    ++deals;
                }
            }
        }
    EXPECT_GT(deals, 6000);
}

TEST(Dealing, DrawsAreUniformAsPromised) {
    Rig rig(true, 5);
    rig.started();
    rig.s().minNumber = 0;
    rig.s().maxNumber = 12;
    std::map<int, long> tops, bottoms, subtracted, divisors;
    for (int i = 0; i < 40000; ++i) {
        rig.s().operation = "addition";
        rig.frm.NewProblem();
        ++tops[static_cast<int>(readNumber(rig["lbln1"].caption()))];
        ++bottoms[static_cast<int>(readNumber(rig["lbln2"].caption()))];
        rig.s().operation = "subtraction";
        rig.frm.NewProblem();
        if (rig["lbln1"].caption() == "9") ++subtracted[static_cast<int>(readNumber(rig["lbln2"].caption()))];
    }
    rig.s().minNumber = 12;
    rig.s().operation = "division";
    for (int i = 0; i < 12000; ++i) {
        rig.frm.NewProblem();
        ++divisors[static_cast<int>(readNumber(rig["lbln2"].caption()))];
    }
    EXPECT_EQ(tops.size(), 13u);
    EXPECT_EQ(bottoms.size(), 13u);
    EXPECT_EQ(subtracted.size(), 10u);  // 0 .. 9 under a top of 9
    EXPECT_EQ(divisors.size(), 6u);     // 1 2 3 4 6 12
    EXPECT_LT(chiSquare(tops), 32.9);   // 12 degrees of freedom, 0.999
    EXPECT_LT(chiSquare(bottoms), 32.9);
    EXPECT_LT(chiSquare(subtracted), 27.9);
    EXPECT_LT(chiSquare(divisors), 20.5);
    // Each top and bottom draw re-seeds; the divisor loop does not.
    EXPECT_GT(rig.random.reseeds, 0);
}

TEST(CardFlow, TheStandardCycleWithItsOneTimePrompts) {
    Rig rig;
    rig.started();
    rig.click("lblClickMe");
    EXPECT_EQ(rig.said(), std::vector<std::string>{"click flash card for answer"});
    EXPECT_FALSE(rig["lbln3"].visible());
    EXPECT_TRUE(rig["lbln1"].visible());
    EXPECT_EQ(rig.s().loopIndex, 150'001.0);
    rig.click("lblClickMe");
    const auto answer = rig["lbln3"].caption();
    EXPECT_EQ(readNumber(answer), readNumber(rig["lbln1"].caption()) + readNumber(rig["lbln2"].caption()));
    EXPECT_EQ(rig.said(), (std::vector<std::string>{"click flash card for answer", answer, "click flash card to continue"}));
    rig.said().clear();
    rig.click("lblClickMe");
    EXPECT_TRUE(rig.said().empty());
    rig.click("lblClickMe");
    EXPECT_EQ(rig.said(), std::vector<std::string>{rig["lbln3"].caption()});
    // A bad range is pointed out on each click and the card still moves on.
    rig.pickText("cmbMinNum", "20");
    rig.said().clear();
    rig.click("lblClickMe");
    EXPECT_EQ(rig.said().front(), "ut,oh, the minimum number must be less than or equal to the maximum number  ");
    EXPECT_FALSE(rig["lbln3"].visible());
}

TEST(CardFlow, ACardClickInTimerModeDoesNothing) {
    Rig rig;
    rig.started();
    rig.click("lblTimer");
    rig.said().clear();
    const long passes = rig.pump.passes;
    rig.click("lblClickMe");
    EXPECT_TRUE(rig.said().empty());
    EXPECT_EQ(rig.pump.passes, passes);
    EXPECT_TRUE(rig["lbln3"].visible());
}

TEST(CardFlow, ANestedStandardClickRevealsTheHiddenCard) {
    Rig rig;
    rig.started();
    rig.pump.onPass = [&, done = false](long) mutable {
        if (!done) {
            done = true;
            rig.click("lblClickMe");
        }
    };
    rig.click("lblClickMe");
    // The nested click spoke the answer of the old card, 12 + 12.
    ASSERT_GE(rig.said().size(), 2u);
    EXPECT_EQ(rig.said()[0], "24");
    EXPECT_EQ(rig.said()[1], "click flash card to continue");
    EXPECT_EQ(rig.said().back(), "click flash card for answer");
    EXPECT_FALSE(rig["lbln3"].visible());  // the new card replaced it
}

TEST(CardFlow, ANestedInteractiveClickDealsItsOwnCardAndEndsTheOuterPause) {
    Rig rig;
    rig.started();
    rig.click("lblInteractive");
    rig.said().clear();
    const long before = rig.pump.passes;
    rig.pump.onPass = [&, done = false](long) mutable {
        if (!done) {
            done = true;
            rig.click("lblClickMe");
        }
    };
    rig.click("lblClickMe");
    // The nested pause ends past the end of the count, but the nested card's
    // choice of answer slot reuses the shared counter (1 to 6), so the outer
    // pause resumes from there: well under two full pauses in all.
    EXPECT_LT(rig.pump.passes - before, 300'010);
    ASSERT_EQ(rig.said().size(), 3u);
    EXPECT_EQ(rig.said()[1], "click on correct answer to the right");
    EXPECT_EQ(rig.said()[2], rig["lbln1"].caption() + " plus " + rig["lbln2"].caption());
    EXPECT_EQ(rig.s().awaitingChoice, 1);
}

TEST(CardFlow, ATorrentOfNestedClicksAndKeysStaysWithinTheNestingBound) {
    // A click or a key in every pass of every pause: a held Space or Enter
    // on the focused card repeats faster than the pauses end, and goes the
    // road of a click; a letter does nothing.
    for (const char* mode : {"lblStandard", "lblInteractive"}) {
        Rig rig;
        rig.started();
        rig.click(mode);
        long injected = 0;
        int deepest = 0;
        rig.pump.onPass = [&](long) {
            deepest = std::max(deepest, rig.frm.nestedPasses());
            if (injected < 100'000) {
                ++injected;
                const ui::Key keys[] = {ui::Key::Space, ui::Key::Enter, ui::Key::Other};
                if (injected % 4 == 0)
                    rig.click("lblClickMe");
                else
                    rig.key("lblClickMe", keys[injected % 4 - 1]);
            }
        };
        rig.click("lblClickMe");
        EXPECT_EQ(injected, 100'000);
        EXPECT_EQ(deepest, app::frmSplash::kMaxNestedPasses) << mode;
        EXPECT_EQ(rig.frm.nestedPasses(), 0);
        EXPECT_TRUE(rig["lbln1"].visible() && rig["lbln2"].visible());
        // The window takes keys as before.
        rig.pump.onPass = nullptr;
        const auto said = rig.said().size();
        rig.key("lblStandard", ui::Key::Enter);
        EXPECT_EQ(rig.said().size(), said + 2) << mode;
    }
}

TEST(Keyboard, TabWalksTheWindowInOrderOverWhatIsShown) {
    Rig rig;
    rig.started();
    // Standard mode: the list of seconds is off and the drawing stands
    // where the answers go.
    EXPECT_EQ(rig.tabs("lblClickMe", 12),
              (std::vector<std::string>{"picPlus", "picMinus", "picX", "picDivide", "cmbMinNum", "cmbMaxNum",
                                        "img123", "lblInteractive", "lblStandard", "lblTimer", "Picture1",
                                        "lblClickMe"}));
    EXPECT_EQ(rig.tabs("lblInteractive", 2, false), (std::vector<std::string>{"img123", "cmbMaxNum"}));
    // From no focus: Tab takes the first stop, Shift+Tab the last.
    EXPECT_EQ(rig.tabs(nullptr, 2), (std::vector<std::string>{"lblInteractive", "lblStandard"}));
    EXPECT_EQ(rig.tabs(nullptr, 2, false), (std::vector<std::string>{"img123", "cmbMaxNum"}));
    // The loudspeaker off: the other picture is the same stop.
    rig.click("Picture1");
    EXPECT_EQ(rig.tabs("lblTimer", 2), (std::vector<std::string>{"Picture2", "lblClickMe"}));
    // Interactive: the six answers in reading order; timer: the seconds.
    rig.click("lblInteractive");
    EXPECT_EQ(rig.tabs("cmbMaxNum", 7), (std::vector<std::string>{"lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6",
                                                                  "lblInteractive"}));
    rig.click("lblTimer");
    EXPECT_EQ(rig.tabs("lblTimer", 1), std::vector<std::string>{"lstTimer"});
    // Division locks the smallest number: Tab passes it by.
    rig.click("picDivide");
    EXPECT_EQ(rig.tabs("picDivide", 1), std::vector<std::string>{"cmbMaxNum"});
    // Close Program and the hidden focus button are never reached.
    const auto all = rig.tabs("lblClickMe", 40);
    EXPECT_EQ(std::count(all.begin(), all.end(), "Command1") + std::count(all.begin(), all.end(), "cmdDummy"), 0);
}

TEST(Operations, DivisionFixesTheMinimumAndLocksItsList) {
    Rig rig;
    rig.started();
    rig.click("picDivide");
    EXPECT_EQ(rig.s().operation, "division");
    EXPECT_EQ(rig.s().minNumber, 1.0);
    EXPECT_FALSE(rig["cmbMinNum"].enabled());
    EXPECT_EQ(rig["cmbMinNum"].itemText(rig["cmbMinNum"].selectedIndex()), "0");
    EXPECT_EQ(rig["lblAddition"].caption(), "division");
    EXPECT_EQ(rig["lblOperation"].caption(), "/");
    EXPECT_EQ(rig.said(), std::vector<std::string>{"division"});
    for (const char* n : {"shpAddition", "shpSubtraction", "shpMultiplication"}) EXPECT_FALSE(rig[n].visible());
    EXPECT_TRUE(rig["shpDivision"].visible());
    EXPECT_EQ(rig["lbln3"].caption(), "1");  // the largest card, 12 / 12
    EXPECT_FALSE(rig["lbln3"].visible());    // replaced by the new card
    const double top = readNumber(rig["lbln1"].caption()), bottom = readNumber(rig["lbln2"].caption());
    EXPECT_EQ(std::floor(top / bottom), top / bottom);

    struct {
        const char* picture;
        const char* word;
        const char* sign;
        const char* mark;
        const char* largest;
    } rows[] = {{"picPlus", "addition", "+", "shpAddition", "24"},
                {"picMinus", "subtraction", "-", "shpSubtraction", "0"},
                {"picX", "multiplication", "x", "shpMultiplication", "144"}};
    for (const auto& r : rows) {
        rig.said().clear();
        rig.click(r.picture);
        EXPECT_EQ(rig.s().operation, r.word);
        EXPECT_EQ(rig["lblAddition"].caption(), r.word);
        EXPECT_EQ(rig["lblOperation"].caption(), r.sign);
        EXPECT_EQ(rig.said(), std::vector<std::string>{r.word});
        EXPECT_TRUE(rig[r.mark].visible());
        EXPECT_FALSE(rig["shpDivision"].visible());
        EXPECT_TRUE(rig["cmbMinNum"].enabled());
        EXPECT_EQ(rig.s().minNumber, 1.0);  // kept until the range changes
        EXPECT_EQ(rig["lbln3"].caption(), r.largest);
    }
}

TEST(Operations, APictureUnlocksTheListsThatTheTimerLockedButDivisionKeepsBoth) {
    for (const char* picture : {"picPlus", "picMinus", "picX", "picDivide"}) {
        SCOPED_TRACE(picture);
        Rig rig;
        rig.started();
        rig.click("lblTimer");
        rig.pickText("lstTimer", "4");  // the timer runs: both range lists are locked
        ASSERT_FALSE(rig["cmbMinNum"].enabled());
        ASSERT_FALSE(rig["cmbMaxNum"].enabled());
        rig.click(picture);
        const bool division = std::string(picture) == "picDivide";
        EXPECT_EQ(rig["cmbMaxNum"].enabled(), !division);
        EXPECT_EQ(rig["cmbMinNum"].enabled(), !division);
        EXPECT_TRUE(rig["Timer1"].enabled());  // the cards go on running
    }
}

TEST(Operations, InInteractiveModeAChangeClearsTheWaitingCard) {
    Rig rig;
    rig.started();
    rig.click("lblInteractive");
    rig.click("lblClickMe");
    EXPECT_EQ(rig.s().awaitingChoice, 1);
    rig["lbl3"].setBackColor(ui::kRed);
    rig.click("picMinus");
    EXPECT_EQ(rig.s().awaitingChoice, 0);
    EXPECT_EQ(rig["lbl3"].backColor(), ui::kWhite);
    expectSoundDeal(rig, "subtraction", 0, 12);
    EXPECT_EQ(rig.s().answer, readNumber(rig["lbln1"].caption()) - readNumber(rig["lbln2"].caption()));
}
