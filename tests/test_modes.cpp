// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "problems/numbers.h"
#include "testbed/fakes.h"

using testbed::Rig;
using problems::readNumber;

namespace {

struct Leaves {
    const char* button;
    const char* mode;
    const char* marker;
    bool choices, drawing, listEnabled;
    const char* press;
    bool newCard;
    std::vector<std::string> said;
};

const Leaves kModes[] = {
    {"lblStandard", "standard", "ShapeStandard", false, true, false, "click flashcard", false,
     {"standard mode", "click flashcard"}},
    {"lblInteractive", "interactive", "shapeInteractive", true, false, false, "click flashcard", true,
     {"interactive mode", "click possible answers to the right"}},
    {"lblTimer", "timer", "ShapeTimer", false, true, true, "", false, {"first choose a timer value in seconds"}},
};

void enter(Rig& rig, const char* start) {
    rig.click(start);
    if (std::string(start) == "lblTimer") rig.pickText("lstTimer", "3");  // a running cycle
    if (std::string(start) == "lblInteractive") rig.click("lblClickMe");  // a waiting card
}

}  // namespace

TEST(Modes, WhatEachModeLeavesBehindFromEveryStartingMode) {
    for (bool division : {false, true}) {
        for (const auto& from : kModes) {
            for (const auto& to : kModes) {
                SCOPED_TRACE(std::string(from.button) + " -> " + to.button + (division ? " (division)" : ""));
                Rig rig;
                rig.started();
                if (division) rig.click("picDivide");
                enter(rig, from.button);
                rig.s().minNumber = 0;  // shows whether the division check runs
                const auto card = rig["lbln1"].caption() + rig["lbln2"].caption() + rig["lbln3"].caption();
                const bool answerShown = rig["lbln3"].visible();
                rig.said().clear();
                rig.click(to.button);

                EXPECT_EQ(rig.s().mode, to.mode);
                for (const char* m : {"ShapeStandard", "shapeInteractive", "ShapeTimer"})
                    EXPECT_EQ(rig[m].visible(), std::string(m) == to.marker) << m;
                EXPECT_EQ(rig["frameChoices"].visible(), to.choices);
                EXPECT_EQ(rig["img123"].visible(), to.drawing);
                EXPECT_EQ(rig["lstTimer"].enabled(), to.listEnabled);
                EXPECT_FALSE(rig["Timer1"].enabled());
                EXPECT_EQ(rig["lblPress"].caption(), to.press);
                EXPECT_EQ(rig["lblTimerStatus"].caption(), "");
                EXPECT_TRUE(rig["cmbMaxNum"].enabled());
                EXPECT_EQ(rig["cmbMinNum"].enabled(), !division);
                EXPECT_EQ(rig.s().minNumber, division ? 1.0 : 0.0);
                EXPECT_EQ(rig.said(), to.said);
                if (to.newCard) {
                    EXPECT_EQ(rig.s().awaitingChoice, 0);
                    EXPECT_FALSE(rig["lbln3"].visible());
                    for (const char* t : {"lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6"})
                        EXPECT_EQ(rig[t].backColor(), ui::kWhite);
                } else {
                    EXPECT_EQ(rig["lbln1"].caption() + rig["lbln2"].caption() + rig["lbln3"].caption(), card);
                    EXPECT_EQ(rig["lbln3"].visible(), answerShown);
                }
                if (std::string(to.mode) == "timer") {
                    EXPECT_TRUE(rig["frameTimer"].visible());
                    EXPECT_EQ(rig["lstTimer"].selectedIndex(), -1);
                }
            }
        }
    }
}

// Every entry of the seconds list, the last one too, is cleared on entering
// timer mode, also when it is entered again from timer mode itself.
TEST(Modes, EnteringTimerModeClearsWhicheverSecondsWerePicked) {
    Rig rig;
    rig.started();
    for (const char* seconds : {"2", "3", "4", "5", "6"}) {
        rig.click("lblTimer");
        rig.pickText("lstTimer", seconds);
        ASSERT_NE(rig["lstTimer"].selectedIndex(), -1);
        rig.click("lblTimer");
        EXPECT_EQ(rig["lstTimer"].selectedIndex(), -1) << seconds;
        EXPECT_TRUE(rig.timer.advance(10000).empty()) << seconds;
    }
}

TEST(Modes, TheOneEventPassComesAfterTheTimerStops) {
    Rig rig;
    rig.started();
    rig.click("lblTimer");
    rig.pickText("lstTimer", "2");
    bool timerOnDuringPass = true;
    rig.pump.onPass = [&](long) { timerOnDuringPass = rig["Timer1"].enabled(); };
    rig.click("lblStandard");
    EXPECT_FALSE(timerOnDuringPass);
}

TEST(Interactive, TheFullCycleOfACard) {
    Rig rig;
    rig.started();
    rig.click("lblInteractive");
    // Entering deals a card with choices that is not read aloud.
    EXPECT_EQ(rig["lblPress"].caption(), "click flashcard");
    EXPECT_EQ(rig.s().awaitingChoice, 0);
    EXPECT_FALSE(rig.tiles()[0].empty());
    rig.said().clear();

    rig.click("lblClickMe");
    const std::string problem = rig["lbln1"].caption() + " plus " + rig["lbln2"].caption();
    EXPECT_EQ(rig.said(), (std::vector<std::string>{problem, "click on correct answer to the right"}));
    EXPECT_EQ(rig["lblPress"].caption(), "click answer to the right =====>");
    EXPECT_EQ(rig.s().awaitingChoice, 1);
    EXPECT_FALSE(rig["lbln3"].visible());

    // Waiting: card clicks do nothing.
    const auto tiles = rig.tiles();
    rig.said().clear();
    rig.click("lblClickMe");
    EXPECT_TRUE(rig.said().empty());
    EXPECT_EQ(rig.tiles(), tiles);

    const float answer = *rig.s().answer;
    const char* names[] = {"lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6"};
    const char* right = nullptr;
    const char* wrong = nullptr;
    for (int k = 0; k < 6; ++k) (static_cast<float>(readNumber(tiles[k])) == answer ? right : wrong) = names[k];
    ASSERT_TRUE(right && wrong);

    rig.click(wrong);
    rig.click(wrong);
    EXPECT_EQ(rig.said(), (std::vector<std::string>(2, "wrong answer, try again")));
    EXPECT_EQ(rig[wrong].backColor(), ui::kRed);
    EXPECT_EQ(rig.s().awaitingChoice, 1);
    EXPECT_FALSE(rig["lbln3"].visible());
    EXPECT_EQ(rig["lblPress"].caption(), "click answer to the right =====>");

    rig.said().clear();
    rig.click(right);
    const std::string text = problems::writeSingle(answer);
    EXPECT_EQ(rig.said(), std::vector<std::string>{text});
    EXPECT_EQ(rig[right].backColor(), ui::kGreen);
    EXPECT_EQ(rig[wrong].backColor(), ui::kRed);  // marks stay until the next card
    EXPECT_TRUE(rig["lbln3"].visible());
    EXPECT_EQ(rig["lbln3"].caption(), text);
    EXPECT_EQ(rig["lblPress"].caption(), "click flashcard");
    EXPECT_EQ(rig.s().awaitingChoice, 0);
    rig.click(right);  // again: judged again, never a new card
    EXPECT_EQ(rig.said().size(), 2u);
    EXPECT_EQ(rig.tiles(), tiles);

    // The next card clears the marks; the hint is not repeated.
    rig.said().clear();
    rig.click("lblClickMe");
    EXPECT_EQ(rig.said().size(), 1u);
    EXPECT_EQ(rig[right].backColor(), ui::kWhite);
    EXPECT_EQ(rig[wrong].backColor(), ui::kWhite);
    EXPECT_EQ(rig.s().awaitingChoice, 1);
}

TEST(Interactive, AnEmptyTileCountsAsZeroAndDivisionIsReadInWords) {
    Rig rig;
    rig.started();
    rig.click("picDivide");
    rig.click("lblInteractive");
    rig.said().clear();
    rig.click("lblClickMe");
    EXPECT_EQ(rig.said()[0], rig["lbln1"].caption() + " divided by " + rig["lbln2"].caption());
    rig.s().answer = 0.0f;
    rig["lbl3"].setCaption("");
    rig.said().clear();
    rig.click("lbl3");
    EXPECT_EQ(rig.said(), std::vector<std::string>{"0"});
    EXPECT_EQ(rig["lbl3"].backColor(), ui::kGreen);
}

TEST(Extras, TheDrawingAndItsCaptionSayTheSameSentence) {
    Rig rig;
    rig.started();
    rig.click("img123");
    rig.click("lblQuillaWrites");
    const std::string sentence = "kwilla  writes, 1 plus 1 equals 2. is kwilla, correct?";
    EXPECT_EQ(rig.said(), (std::vector<std::string>{sentence, sentence}));
    const auto before = rig.s().mode;
    EXPECT_EQ(rig["lbln3"].caption(), "24");
    EXPECT_EQ(rig.s().mode, before);
}
