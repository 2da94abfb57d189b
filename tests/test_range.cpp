// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "problems/numbers.h"
#include "testbed/fakes.h"

using testbed::Rig;
using problems::readNumber;

namespace {
const std::string kWarning = "ut,oh, the minimum number must be less than or equal to the maximum number  ";
}

TEST(Range, EqualBoundsAreValidAndDealFromThatOneNumber) {
    Rig rig;
    rig.started();
    rig.pickText("cmbMaxNum", "10");
    rig.said().clear();
    rig.pickText("cmbMinNum", "10");
    EXPECT_EQ(rig.said(), std::vector<std::string>{"the minimum number is now set to 10"});
    EXPECT_EQ(rig.s().minNumber, 10.0);
    EXPECT_EQ(rig.s().maxNumber, 10.0);
    EXPECT_EQ(rig["lbln1"].caption(), "10");
    EXPECT_EQ(rig["lbln2"].caption(), "10");
    EXPECT_FALSE(rig["lbln3"].visible());  // a new card, question shown
}

TEST(Range, AMinimumAboveTheMaximumIsRefusedThenALargerMaximumTakesBoth) {
    Rig rig;
    rig.started();
    const auto top = rig["lbln1"].caption();
    const long draws = rig.random.draws;
    rig.pickText("cmbMinNum", "20");
    EXPECT_EQ(rig.said(), std::vector<std::string>{kWarning});
    EXPECT_EQ(rig.s().minRangeOk, "n");
    EXPECT_EQ(rig.s().maxRangeOk, "n");
    EXPECT_EQ(rig["lbln3"].caption(), "");
    EXPECT_EQ(rig["lbln1"].caption(), top);  // no new card
    EXPECT_EQ(rig.random.draws, draws);
    EXPECT_EQ(rig.s().minNumber, 0.0);
    EXPECT_EQ(rig.s().maxNumber, 12.0);
    EXPECT_EQ(rig["cmbMinNum"].itemText(rig["cmbMinNum"].selectedIndex()), "20");

    rig.said().clear();
    rig.pickText("cmbMaxNum", "30");
    EXPECT_EQ(rig.said(), std::vector<std::string>{"the maximum number is now set to 30"});
    EXPECT_EQ(rig.s().minNumber, 20.0);
    EXPECT_EQ(rig.s().maxNumber, 30.0);
    EXPECT_EQ(rig.s().minRangeOk, "y");
    const double n1 = readNumber(rig["lbln1"].caption());
    EXPECT_GE(n1, 20);
    EXPECT_LE(n1, 30);
}

TEST(Range, ComparedAsNumbersNotAsText) {
    Rig rig;
    rig.started();
    rig.pickText("cmbMaxNum", "10");
    rig.said().clear();
    rig.pickText("cmbMinNum", "9");
    EXPECT_EQ(rig.said(), std::vector<std::string>{"the minimum number is now set to 9"});
    EXPECT_EQ(rig.s().minNumber, 9.0);
    EXPECT_EQ(rig.s().maxNumber, 10.0);
}

TEST(Range, ARefusedPickInInteractiveModeRefillsTheChoicesOfTheCardOnShow) {
    Rig rig;
    rig.started();
    rig.click("picMinus");
    rig.click("lblInteractive");
    rig.click("lblClickMe");
    rig.said().clear();
    rig.pickText("cmbMinNum", "40");
    EXPECT_EQ(rig.said(), std::vector<std::string>{kWarning});
    // The card keeps its numbers; its difference is among the new choices.
    const double a = readNumber(rig["lbln1"].caption()), b = readNumber(rig["lbln2"].caption());
    EXPECT_EQ(rig.s().answer, static_cast<float>(a - b));
    int right = 0;
    for (const auto& t : rig.tiles()) right += readNumber(t) == a - b;
    EXPECT_EQ(right, 1);
}

TEST(Range, AnAcceptedPickInDivisionTakesTheMinimumFromItsListAgain) {
    Rig rig;
    rig.started();
    rig.click("picDivide");
    EXPECT_EQ(rig.s().minNumber, 1.0);
    rig.pickText("cmbMaxNum", "20");
    // Dealing raised the 0 from the list back to 1.
    EXPECT_EQ(rig.s().minNumber, 1.0);
    EXPECT_EQ(rig.s().maxNumber, 20.0);
    EXPECT_FALSE(rig["cmdDummy"].visible());
}
