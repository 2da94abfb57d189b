// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "speech/late_engine.h"
#include "testbed/fakes.h"

using testbed::Rig;

TEST(Startup, LeavesTheStartValuesAndTheExampleCard) {
    Rig rig;
    rig.frm.Form_Load();
    const auto& s = rig.s();
    EXPECT_EQ(s.mode, "standard");
    EXPECT_EQ(s.operation, "addition");
    EXPECT_EQ(s.minNumber, 0.0);
    EXPECT_EQ(s.maxNumber, 12.0);
    EXPECT_EQ(s.answer, 24.0f);
    EXPECT_EQ(s.awaitingChoice, 0);
    EXPECT_EQ(s.minRangeOk, "y");
    EXPECT_EQ(s.maxRangeOk, "y");
    EXPECT_EQ(s.startupGuard, "");  // lifted by the maximum list's selection
    EXPECT_FALSE(s.speechOff.has_value());
    EXPECT_FALSE(s.saidClickForAnswer.has_value());
    EXPECT_FALSE(s.saidClickToContinue.has_value());
    EXPECT_FALSE(s.saidClickCorrectAnswer.has_value());
    EXPECT_FALSE(s.timerInterval.has_value());
    EXPECT_FALSE(s.operationWord.has_value());
    EXPECT_EQ(s.loopIndex, 1'000'001.0);
    EXPECT_EQ(rig["lbln1"].caption(), "12");
    EXPECT_EQ(rig["lbln2"].caption(), "12");
    EXPECT_EQ(rig["lbln3"].caption(), "24");
    for (const char* n : {"lbln1", "lbln2", "lbln3", "lblOperation", "Line1", "ShapeStandard", "Picture1"})
        EXPECT_TRUE(rig[n].visible()) << n;
    for (const char* n : {"cmdDummy", "frameChoices", "Picture2"}) EXPECT_FALSE(rig[n].visible()) << n;
    EXPECT_EQ(rig["lblTimerStatus"].caption(), "");
    EXPECT_EQ(rig["lblPress"].caption(), "click flashcard");
    EXPECT_FALSE(rig["lstTimer"].enabled());
    EXPECT_FALSE(rig["Timer1"].enabled());
    EXPECT_EQ(rig["cmbMinNum"].itemText(rig["cmbMinNum"].selectedIndex()), "0");
    EXPECT_EQ(rig["cmbMaxNum"].itemText(rig["cmbMaxNum"].selectedIndex()), "12");
    // Panel centred on a 1920 x 1080 screen, banner right above it.
    EXPECT_EQ(rig["Frame1"].left(), 8513);  // 14400 - 5887.5, rounded
    EXPECT_EQ(rig["Frame1"].top(), 3713);
    EXPECT_EQ(rig["lblKidSafe"].left(), rig["Frame1"].left());
    EXPECT_EQ(rig["lblKidSafe"].top(), rig["Frame1"].top() - 615);
}

TEST(Startup, ShowsTheWindowThenPausesThenGreetsOnce) {
    Rig rig;
    long passesWhenShown = -1;
    rig.pump.onPass = [&](long) {
        if (rig.window.shown && passesWhenShown < 0) passesWhenShown = rig.pump.passes;
        EXPECT_TRUE(rig.said().empty());  // nothing is said before the greeting
    };
    rig.frm.Form_Load();
    EXPECT_EQ(passesWhenShown, 2);  // one pass before showing, then the pause
    EXPECT_EQ(rig.pump.passes, 1 + 1'000'000);
    EXPECT_EQ(rig.window.shown, 1);
    EXPECT_EQ(rig.said(), std::vector<std::string>{"welcome to abacorn, standard mode. click on flashcard to begin."});
}

TEST(Startup, TheTwoSelectionsOfStartupSayAndDealNothingButTheFirstPickActs) {
    Rig rig;
    rig.frm.Form_Load();
    EXPECT_EQ(rig.said().size(), 1u);  // only the greeting
    EXPECT_EQ(rig.random.draws, 0);
    rig.said().clear();
    rig.pickText("cmbMinNum", "0");  // the child picks the entry already shown
    ASSERT_FALSE(rig.said().empty());
    EXPECT_EQ(rig.said().front(), "the minimum number is now set to 0");
    EXPECT_GT(rig.random.draws, 0);
}

TEST(Startup, AClickDuringThePauseRunsNormally) {
    Rig rig;
    rig.pump.onPass = [&](long pass) {
        if (pass == 500) rig.click("lblClickMe");
    };
    rig.frm.Form_Load();
    // The nested card click blanked the example and dealt a card before the
    // greeting, which comes last.
    ASSERT_GE(rig.said().size(), 2u);
    EXPECT_EQ(rig.said().front(), "click flash card for answer");
    EXPECT_EQ(rig.said().back(), "welcome to abacorn, standard mode. click on flashcard to begin.");
    EXPECT_FALSE(rig["lbln3"].visible());
}

TEST(Speech, OffNeverTouchesTheEngineAndOnAgainLeavesABlank) {
    Rig rig;
    rig.started();
    rig.click("Picture1");
    EXPECT_FALSE(rig["Picture1"].visible());
    EXPECT_TRUE(rig["Picture2"].visible());
    EXPECT_EQ(rig.s().speechOff, "x");
    rig.click("lblClickMe");
    rig.click("lblClickMe");
    rig.click("img123");
    rig.pickText("cmbMaxNum", "20");
    EXPECT_TRUE(rig.said().empty());
    rig.click("Picture2");
    EXPECT_TRUE(rig["Picture1"].visible());
    EXPECT_FALSE(rig["Picture2"].visible());
    EXPECT_EQ(rig.s().speechOff, " ");
    EXPECT_TRUE(rig.said().empty());  // switching on says nothing
    rig.click("img123");
    EXPECT_EQ(rig.said(), std::vector<std::string>{"kwilla  writes, 1 plus 1 equals 2. is kwilla, correct?"});
}

TEST(Speech, WithoutAnEngineEverythingRunsSilently) {
    Rig rig(/*withVoice=*/false);
    rig.frm.Form_Load();
    EXPECT_EQ(rig.s().voice, nullptr);
    for (int i = 0; i < 4; ++i) rig.click("lblClickMe");
    rig.click("lblInteractive");
    rig.click("lblClickMe");
    rig.click("lbl1");
    rig.click("picDivide");
    rig.click("lblTimer");
    rig.pickText("lstTimer", "2");
    rig.timer.advance(20000);
    EXPECT_TRUE(rig.voice->said->empty());
    EXPECT_EQ(rig.s().operation, "division");
}

TEST(Speech, AnEngineThatThrowsIsIgnored) {
    struct Throwing final : speech::SpeechEngine {
        void speak(const std::string&) override { throw std::runtime_error("engine gone"); }
    };
    testbed::Pump pump;
    testbed::Screen screen;
    testbed::Window window;
    testbed::Timer timer;
    testbed::Random random;
    app::frmSplash frm(ui::controlTable(), app::Platform{pump, screen, window, timer, random,
                                                         [] { return std::make_shared<Throwing>(); }});
    EXPECT_NO_THROW(frm.Form_Load());
    EXPECT_NO_THROW(frm.dispatchControl(frm.controls()["lblClickMe"]));
}

TEST(Speech, ALateEngineIsBuiltOnceByStartOrByTheFirstText) {
    int built = 0;
    auto voice = std::make_shared<testbed::Voice>();
    auto factory = [&] {
        ++built;
        return voice;
    };
    speech::LateEngine early(factory);
    EXPECT_EQ(built, 0);
    early.speak("hello");  // a text before start(): built at once, and spoken
    early.start();
    EXPECT_EQ(built, 1);
    EXPECT_EQ(*voice->said, std::vector<std::string>{"hello"});

    speech::LateEngine late(factory);
    late.start();
    late.start();
    late.speak("again");
    EXPECT_EQ(built, 2);
    EXPECT_EQ(voice->said->back(), "again");

    // No engine, or one whose factory throws: silent, and not tried again.
    int tries = 0;
    speech::LateEngine none([&]() -> std::shared_ptr<speech::SpeechEngine> { ++tries; return nullptr; });
    speech::LateEngine throwing([&]() -> std::shared_ptr<speech::SpeechEngine> {
        ++tries;
        throw std::runtime_error("no voice");
    });
    for (auto* e : {&none, &throwing}) {
        EXPECT_NO_THROW(e->speak("quiet"));
        EXPECT_NO_THROW(e->speak("quiet"));
    }
    EXPECT_EQ(tries, 2);
}

TEST(Shutdown, CloseProgramEndsAtOnceEvenInsideAPause) {
    Rig rig;
    rig.pump.onPass = [&](long pass) {
        if (pass == 1000) rig.click("Command1");
    };
    rig.frm.Form_Load();
    EXPECT_TRUE(rig.frm.unloaded());
    EXPECT_EQ(rig.window.closed, 1);
    EXPECT_LT(rig.pump.passes, 1100);  // the pause stopped
    EXPECT_TRUE(rig.said().empty());   // no greeting after closing
    rig.click("lblClickMe");           // later events are dropped
    EXPECT_TRUE(rig.said().empty());
}

TEST(Shutdown, AClickOnTheBareWindowOnlyStopsTheTimer) {
    Rig rig;
    rig.started();
    rig.click("lblTimer");
    rig.pickText("lstTimer", "3");
    EXPECT_TRUE(rig["Timer1"].enabled());
    const auto card = rig["lbln1"].caption();
    rig.said().clear();
    rig.click("frmSplash");
    EXPECT_FALSE(rig["Timer1"].enabled());
    EXPECT_FALSE(rig.timer.running);
    EXPECT_EQ(rig["lbln1"].caption(), card);
    EXPECT_TRUE(rig.said().empty());
}
