// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt voice with the recording text-to-speech plugin in place of a real
// engine (QT_PLUGIN_PATH points at it; it claims the highest priority, so it
// is Qt's default engine). Every test waits on the plugin's log with a
// generous deadline instead of sleeping.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "speech/qt_speech_engine.h"

namespace {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC, as in the log
constexpr auto kDeadline = std::chrono::seconds(20);

struct Event {
    double ms;
    std::string what;
    std::string text;
};

std::vector<Event> readLog(const std::string& path) {
    std::vector<Event> events;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Event e;
        std::string ms;
        std::getline(fields, ms, '\t');
        std::getline(fields, e.what, '\t');
        std::getline(fields, e.text);
        e.ms = std::stod(ms);
        events.push_back(e);
    }
    return events;
}

std::vector<std::string> said(const std::vector<Event>& events) {
    std::vector<std::string> texts;
    for (const auto& e : events)
        if (e.what == "say") texts.push_back(e.text);
    return texts;
}

double nowMs() {
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

class QtVoice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        log_ = dir_.filePath("tts.log").toStdString();
        // Each test runs in its own process under ctest, before any speech
        // thread exists, so changing the environment here races with nothing.
        setenv("ABACORN_TTS_LOG", log_.c_str(), 1);
        unsetenv("ABACORN_TTS_FAIL");
        unsetenv("ABACORN_TTS_CREATE_MS");
        unsetenv("ABACORN_TTS_SPEAK_MS");
        // Where the default engine fails the trainer's own voice takes over;
        // it must not reach a sound server of this machine.
        setenv("PULSE_SERVER", "unix:/nonexistent/abacorn-test", 1);
    }

    // Waits until the log satisfies `done`; returns the log either way.
    std::vector<Event> waitFor(const std::function<bool(const std::vector<Event>&)>& done) {
        const auto end = Clock::now() + kDeadline;
        for (;;) {
            auto events = readLog(log_);
            if (done(events) || Clock::now() > end) return events;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    std::vector<Event> waitForSay(const std::string& text) {
        return waitFor([&](const std::vector<Event>& ev) {
            for (const auto& t : said(ev))
                if (t == text) return true;
            return false;
        });
    }

    QTemporaryDir dir_;
    std::string log_;
};

TEST_F(QtVoice, TextsAreSpokenInOrderEachAfterAStop) {
    auto voice = speech::createQtSpeechEngine();
    ASSERT_TRUE(voice);
    const std::vector<std::string> texts{"three plus four", "seven", "Good job!"};
    for (const auto& t : texts) {
        voice->speak(t);
        waitForSay(t);
    }
    const auto events = readLog(log_);
    EXPECT_EQ(said(events), texts);
    // Every say comes right after a stop: nothing of the text before survives.
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i].what == "say") {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(events[i - 1].what, "stop") << "before \"" << events[i].text << "\"";
        }
}

TEST_F(QtVoice, ASecondTextStopsTheFirstWhileItIsBeingSpoken) {
    setenv("ABACORN_TTS_SPEAK_MS", "60000", 1);  // the first one is still being spoken
    auto voice = speech::createQtSpeechEngine();
    voice->speak("nine minus two");
    waitForSay("nine minus two");
    voice->speak("Try again");
    const auto events = waitForSay("Try again");
    ASSERT_GE(events.size(), 4u);
    const auto& last = events.back();
    const auto& beforeLast = events[events.size() - 2];
    EXPECT_EQ(last.what, "say");
    EXPECT_EQ(last.text, "Try again");
    EXPECT_EQ(beforeLast.what, "stop");
    EXPECT_EQ(said(events), (std::vector<std::string>{"nine minus two", "Try again"}));
}

TEST_F(QtVoice, OnlyTheNewestTextHandedOverBeforeTheEngineIsReadyIsSpokenWhenItIs) {
    setenv("ABACORN_TTS_CREATE_MS", "800", 1);
    const double created = nowMs();
    auto voice = speech::createQtSpeechEngine();
    voice->speak("Welcome");
    voice->speak("Pick a card");
    const auto events = waitForSay("Pick a card");
    EXPECT_EQ(said(events), std::vector<std::string>{"Pick a card"});
    ASSERT_FALSE(events.empty());
    EXPECT_GE(events.back().ms, created + 750) << "spoken before the engine was made";
}

TEST_F(QtVoice, NeitherCreatingNorSpeakingWaitsForASlowEngine) {
    setenv("ABACORN_TTS_CREATE_MS", "1500", 1);
    auto start = Clock::now();
    auto voice = speech::createQtSpeechEngine();
    const auto createTook = Clock::now() - start;
    auto slowest = Clock::duration::zero();
    for (int i = 0; i < 200; ++i) {
        const std::string text = "card " + std::to_string(i);
        start = Clock::now();
        voice->speak(text);
        slowest = std::max(slowest, Clock::now() - start);
    }
    // Far below the engine's 1500 ms either way; the bounds only leave room
    // for a loaded machine.
    EXPECT_LT(createTook, std::chrono::milliseconds(200));
    EXPECT_LT(slowest, std::chrono::milliseconds(50));
    EXPECT_EQ(said(waitForSay("card 199")), std::vector<std::string>{"card 199"});
}

TEST_F(QtVoice, FallsBackWithoutCrashingWhenTheDefaultEngineCannotStart) {
    setenv("ABACORN_TTS_FAIL", "1", 1);
    auto voice = speech::createQtSpeechEngine();
    ASSERT_TRUE(voice);
    voice->speak("six");
    voice->speak("seven");
    const auto start = Clock::now();
    voice.reset();  // runs after both texts went to the fallback (flite or silence)
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_TRUE(said(readLog(log_)).empty()) << "the failed engine was still used";
}

// Closing while the engine is still being made (speechd takes 1.4-1.9 s)
// must not hold up the program's exit. Run in a child process so that the
// speech thread left behind ends with it.
TEST_F(QtVoice, ClosingWhileTheEngineIsBeingMadeDoesNotHoldUpExit) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ABACORN_TTS_CREATE_MS", "5000");
    child.setProcessEnvironment(env);
    const auto start = Clock::now();
    child.start(QCoreApplication::applicationFilePath(), {"--close-while-opening"});
    ASSERT_TRUE(child.waitForStarted(10000));
    const bool finished = child.waitForFinished(20000);
    const auto took = Clock::now() - start;
    if (!finished) {
        child.kill();  // our own child, by its handle
        child.waitForFinished(5000);
    }
    ASSERT_TRUE(finished);
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
    EXPECT_LT(took, std::chrono::milliseconds(4000)) << "exit waited for the engine";
    EXPECT_TRUE(said(readLog(log_)).empty());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--close-while-opening") {
        auto voice = speech::createQtSpeechEngine();
        if (!voice) return 2;
        voice->speak("never said");
        const auto start = Clock::now();
        voice.reset();
        return Clock::now() - start < std::chrono::milliseconds(1500) ? 0 : 3;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
