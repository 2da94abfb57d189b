// SPDX-License-Identifier: GPL-3.0-or-later
// The order in which the trainer looks for a voice (the desktop's engine,
// then its own, then silence), with engines that fail to start in every way
// an engine can: no engine, an exception, a start that takes long or never
// ends.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "speech/engine_chain.h"
#include "speech/screen_reader_order.h"
#include "speech/worker.h"
#include "testbed/fakes.h"

namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

struct Engines {
    std::shared_ptr<testbed::LockedVoice> desktop = std::make_shared<testbed::LockedVoice>();
    std::shared_ptr<testbed::LockedVoice> embedded = std::make_shared<testbed::LockedVoice>();
    std::atomic<int> embeddedStarts{0};

    speech::EngineFactory embeddedFactory() {
        return [this] {
            ++embeddedStarts;
            return std::shared_ptr<speech::SpeechEngine>(embedded);
        };
    }
};

// A start that lasts until the test lets it go, or for 20 s at most: a
// test that deadlocks fails instead of hanging.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    void release() {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        cv.notify_all();
    }
    void pass() {
        std::unique_lock lock(mutex);
        cv.wait_for(lock, 20s, [&] { return open; });
    }
    // A factory whose start lasts until release(), then gives `engine`.
    speech::EngineFactory holding(std::shared_ptr<speech::SpeechEngine> engine) {
        return [this, engine = std::move(engine)] {
            pass();
            return engine;
        };
    }
};

TEST(EngineOrder, TheDesktopEngineSpeaksWhenItStartsAndTheEmbeddedVoiceIsNeverLoaded) {
    Engines e;
    auto voice = speech::firstThatStarts({[&] { return std::shared_ptr<speech::SpeechEngine>(e.desktop); },
                                          e.embeddedFactory()});
    voice->speak("welcome");
    ASSERT_TRUE(testbed::eventually([&] { return !e.desktop->said().empty(); }));
    voice->speak("24");
    EXPECT_EQ(e.desktop->said(), (Texts{"welcome", "24"}));
    voice.reset();
    EXPECT_EQ(e.embeddedStarts, 0);
}

TEST(EngineOrder, TheEmbeddedVoiceTakesOverFromADesktopEngineThatFailsOrThrows) {
    const std::vector<speech::EngineFactory> failing{
        [] { return std::shared_ptr<speech::SpeechEngine>(); },
        []() -> std::shared_ptr<speech::SpeechEngine> { throw std::runtime_error("daemon dead"); },
        nullptr,  // no desktop engine installed
    };
    for (const auto& desktop : failing) {
        Engines e;
        auto voice = speech::firstThatStarts({desktop, e.embeddedFactory()});
        voice->speak("welcome");
        ASSERT_TRUE(testbed::eventually([&] { return !e.embedded->said().empty(); }));
        voice->speak("seven");
        EXPECT_EQ(e.embedded->said(), (Texts{"welcome", "seven"}));
        EXPECT_EQ(e.embeddedStarts, 1);
    }
}

TEST(EngineOrder, SilenceWhenNoEngineStarts) {
    auto none = [] { return std::shared_ptr<speech::SpeechEngine>(); };
    auto voice = speech::firstThatStarts({none, none});
    for (int i = 0; i < 100; ++i) voice->speak("card " + std::to_string(i));
    // Closing ends a chain whose thread has ended: a margin no loaded
    // machine reaches, against a chain that waits for its own thread.
    const auto start = std::chrono::steady_clock::now();
    voice.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, speech::kCloseWait + 10s);
}

TEST(EngineOrder, TextsWaitForASlowStartAndOnlyTheNewestIsSpoken) {
    Engines e;
    Gate gate;
    auto voice = speech::firstThatStarts({gate.holding(e.desktop), e.embeddedFactory()});
    // The start is held until after these: a speak that waited for it would
    // never return.
    for (const char* text : {"welcome", "standard", "click flash card for answer"}) voice->speak(text);
    EXPECT_TRUE(e.desktop->said().empty());
    gate.release();
    ASSERT_TRUE(testbed::eventually([&] { return !e.desktop->said().empty(); }));
    voice->speak("24");
    EXPECT_EQ(e.desktop->said(), (Texts{"click flash card for answer", "24"}));
}

// A desktop engine that never finishes starting (a hanging daemon) holds up
// neither closing nor, once it is left behind, anything else; an engine
// that comes up after closing is released unused.
TEST(EngineOrder, ClosingDoesNotWaitForAStartThatHangs) {
    auto gate = std::make_shared<Gate>();
    auto late = std::make_shared<testbed::LockedVoice>();
    auto entered = std::make_shared<std::atomic<bool>>(false);
    auto voice = speech::firstThatStarts({[gate, late, entered] {
        *entered = true;
        gate->pass();
        return std::shared_ptr<speech::SpeechEngine>(late);
    }});
    voice->speak("welcome");
    ASSERT_TRUE(testbed::eventually([&] { return entered->load(); }));
    // The start is held until after the close: a close that waited for it
    // would never return.
    voice.reset();
    gate->release();
    EXPECT_TRUE(testbed::eventually([&] { return late.use_count() == 1; })) << "the late engine was kept";
    EXPECT_TRUE(late->said().empty());
}

// A desktop engine whose daemon dies while the trainer runs.
// Breaks when told, from the test's thread, or inside speak() when handed
// `breakOn`, and tells every time; with `holding` set, takes its time over
// the first text (held there until the test lets it go). Like a real engine, one that broke
// before the chain asked to be told (the chain asks on its own thread,
// after handing over the first text) tells at once when asked.
class BreakingVoice final : public speech::SpeechEngine {
public:
    void speak(const std::string& text) override {
        said.speak(text);
        if (Gate* gate = std::exchange(holding, nullptr)) gate->pass();
        if (text == breakOn) breakNow();
    }
    void whenBroken(std::function<void()> broke) override {
        bool broken;
        {
            std::lock_guard lock(mutex_);
            broke_ = broke;
            broken = broken_;
        }
        if (broken) broke();
    }
    void breakNow() {
        std::function<void()> broke;
        {
            std::lock_guard lock(mutex_);
            broken_ = true;
            broke = broke_;
        }
        if (broke) broke();
    }
    testbed::LockedVoice said;
    std::string breakOn;
    Gate* holding = nullptr;

private:
    std::mutex mutex_;
    std::function<void()> broke_;
    bool broken_ = false;
};

TEST(EngineOrder, WhenTheDesktopEngineBreaksTheEmbeddedVoiceSpeaksWhatItLost) {
    Engines e;
    auto desktop = std::make_shared<BreakingVoice>();
    auto voice = speech::firstThatStarts({[&] { return std::shared_ptr<speech::SpeechEngine>(desktop); },
                                          e.embeddedFactory()});
    voice->speak("welcome");
    ASSERT_TRUE(testbed::eventually([&] { return !desktop->said.said().empty(); }));
    voice->speak("24");
    desktop->breakNow();  // "24" was not spoken
    ASSERT_TRUE(testbed::eventually([&] { return !e.embedded->said().empty(); }));
    voice->speak("seven");
    desktop->breakNow();  // told twice: changes nothing
    voice.reset();
    EXPECT_EQ(desktop->said.said(), (Texts{"welcome", "24"}));
    EXPECT_EQ(e.embedded->said(), (Texts{"24", "seven"}));
    EXPECT_EQ(e.embeddedStarts, 1);
}

// An engine that breaks inside speak(): the first text, handed over by the
// chain's own thread, or a later one, handed over by the caller. The chain
// calls no engine under its lock, so the report finds it free.
TEST(EngineOrder, AnEngineThatBreaksInsideSpeakHandsThatTextOn) {
    for (const std::string breakOn : {"welcome", "24"}) {
        Engines e;
        auto desktop = std::make_shared<BreakingVoice>();
        desktop->breakOn = breakOn;
        Gate gate;  // "welcome" waits for the start and goes over on the chain's thread
        auto voice = speech::firstThatStarts({gate.holding(desktop), e.embeddedFactory()});
        voice->speak("welcome");
        gate.release();
        if (breakOn == "welcome") {
            ASSERT_TRUE(testbed::eventually([&] { return !e.embedded->said().empty(); })) << breakOn;
            voice->speak("24");
        } else {
            ASSERT_TRUE(testbed::eventually([&] { return !desktop->said.said().empty(); })) << breakOn;
            voice->speak("24");
            ASSERT_TRUE(testbed::eventually([&] { return !e.embedded->said().empty(); })) << breakOn;
        }
        voice->speak("seven");
        voice.reset();
        const Texts lost = breakOn == "welcome" ? Texts{"welcome", "24", "seven"} : Texts{"24", "seven"};
        EXPECT_EQ(e.embedded->said(), lost) << breakOn;
        EXPECT_EQ(desktop->said.said().back(), breakOn);
    }
}

// Texts that come while the chain's thread is still handing the first one
// over follow it, the newest alone; none waits for the chain's lock.
TEST(EngineOrder, TextsThatComeWhileTheFirstIsHandedOverFollowItInOrder) {
    auto desktop = std::make_shared<BreakingVoice>();
    Gate start, inside;
    desktop->holding = &inside;
    auto voice = speech::firstThatStarts({start.holding(desktop)});
    voice->speak("welcome");
    start.release();
    ASSERT_TRUE(testbed::eventually([&] { return !desktop->said.said().empty(); }));  // inside speak()
    voice->speak("standard");
    voice->speak("24");
    inside.release();
    ASSERT_TRUE(testbed::eventually([&] { return desktop->said.said().size() == 2; }));
    voice->speak("seven");
    voice.reset();
    EXPECT_EQ(desktop->said.said(), (Texts{"welcome", "24", "seven"}));
}

// A break told twice while the next engine starts: the newer text that
// came in between is the one spoken, not the lost one again.
TEST(EngineOrder, ASecondReportOfTheSameBreakChangesNothing) {
    Engines e;
    auto desktop = std::make_shared<BreakingVoice>();
    Gate gate;
    auto voice = speech::firstThatStarts({[&] { return std::shared_ptr<speech::SpeechEngine>(desktop); },
                                          gate.holding(e.embedded)});
    voice->speak("welcome");
    ASSERT_TRUE(testbed::eventually([&] { return !desktop->said.said().empty(); }));
    voice->speak("24");
    desktop->breakNow();  // "24" was lost; the next engine is held at its start
    voice->speak("seven");
    desktop->breakNow();
    gate.release();
    ASSERT_TRUE(testbed::eventually([&] { return !e.embedded->said().empty(); }));
    voice.reset();
    EXPECT_EQ(e.embedded->said(), Texts{"seven"});
}

// An engine that broke before the chain asked to be told (its daemon could
// not be reached): it tells at once, on the chain's own thread, and the
// text handed to it goes to the next engine.
class AlreadyBroken final : public speech::SpeechEngine {
public:
    void speak(const std::string& text) override { said.speak(text); }
    void whenBroken(std::function<void()> broke) override { broke(); }
    testbed::LockedVoice said;
};

TEST(EngineOrder, AnEngineBrokenBeforeItIsAskedHandsItsTextOnAtOnce) {
    Engines e;
    auto broken = std::make_shared<AlreadyBroken>();
    Gate gate;
    auto voice = speech::firstThatStarts({gate.holding(broken), e.embeddedFactory()});
    voice->speak("welcome");
    gate.release();
    ASSERT_TRUE(testbed::eventually([&] { return !e.embedded->said().empty(); }));
    voice->speak("24");
    EXPECT_EQ(broken->said.said(), Texts{"welcome"});
    EXPECT_EQ(e.embedded->said(), (Texts{"welcome", "24"}));
}

// The trainer's own voice first, the desktop's engine while the screen-reader
// switch is on, each the other's fallback, and a failed voice never again.
struct ScreenReaderOrder {
    std::atomic<bool> screenReader{false};
    std::atomic<bool> soundServer{true};
    std::shared_ptr<BreakingVoice> desktop = std::make_shared<BreakingVoice>();
    std::atomic<int> desktopStarts{0};
    Gate* starting = nullptr;  // holds each start of the own voice when set

    // Each start of the own voice, in order.
    std::shared_ptr<BreakingVoice> own(std::size_t start) {
        std::lock_guard lock(mutex_);
        return start < owns_.size() ? owns_[start] : nullptr;
    }
    int ownStarts() {
        std::lock_guard lock(mutex_);
        return starts_;
    }
    Texts ownSaid(std::size_t start) {
        auto voice = own(start);
        return voice ? voice->said.said() : Texts{};
    }

    std::shared_ptr<speech::SpeechEngine> voice() {
        return speech::ownVoiceUnlessScreenReader(
            [this]() -> std::shared_ptr<speech::SpeechEngine> {
                {
                    std::lock_guard lock(mutex_);
                    ++starts_;
                }
                if (starting) starting->pass();
                std::lock_guard lock(mutex_);
                if (!soundServer) return nullptr;
                owns_.push_back(std::make_shared<BreakingVoice>());
                return owns_.back();
            },
            [this] {
                ++desktopStarts;
                return std::shared_ptr<speech::SpeechEngine>(desktop);
            },
            [this] { return screenReader.load(); });
    }

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<BreakingVoice>> owns_;
    int starts_ = 0;
};

TEST(EngineOrder, TheOwnVoiceSpeaksUnlessAScreenReaderIsOnAndTheDesktopsEngineIsItsFallback) {
    {
        ScreenReaderOrder o;
        auto voice = o.voice();
        voice->speak("welcome");
        ASSERT_TRUE(testbed::eventually([&] { return !o.ownSaid(0).empty(); }));
        voice->speak("24");
        EXPECT_EQ(o.ownSaid(0), (Texts{"welcome", "24"}));
        EXPECT_EQ(o.desktopStarts, 0) << "the desktop's engine was started beside the own voice";
        o.own(0)->breakNow();  // no sound server for "24"
        ASSERT_TRUE(testbed::eventually([&] { return !o.desktop->said.said().empty(); }));
        o.desktop->breakNow();  // nor a daemon: silence, the broken own voice is not tried again
        voice->speak("seven");
        voice.reset();
        EXPECT_EQ(o.desktop->said.said(), Texts{"24"});
        EXPECT_EQ(o.ownStarts(), 1);
    }
    {
        ScreenReaderOrder o;  // no sound server at all
        o.soundServer = false;
        auto voice = o.voice();
        voice->speak("welcome");
        ASSERT_TRUE(testbed::eventually([&] { return !o.desktop->said.said().empty(); }));
        o.desktop->breakNow();
        voice.reset();
        EXPECT_EQ(o.ownStarts(), 1);
    }
}

TEST(EngineOrder, WithTheScreenReaderOnTheDesktopsEngineSpeaksAndTheOwnVoiceTakesOverWhatItLost) {
    ScreenReaderOrder o;
    o.screenReader = true;
    auto voice = o.voice();
    voice->speak("welcome");
    ASSERT_TRUE(testbed::eventually([&] { return !o.desktop->said.said().empty(); }));
    EXPECT_EQ(o.ownStarts(), 0) << "the own voice was loaded beside the screen reader";
    voice->speak("24");
    o.desktop->breakNow();
    ASSERT_TRUE(testbed::eventually([&] { return !o.ownSaid(0).empty(); }));
    voice->speak("seven");
    voice.reset();
    EXPECT_EQ(o.desktop->said.said(), (Texts{"welcome", "24"}));
    EXPECT_EQ(o.ownSaid(0), (Texts{"24", "seven"}));
}

// Turned on while the own voice was starting, after the order had read it
// as off: the first text, handed to the own voice as the chain settles, is
// moved over before the chain has asked to be told, and still reaches the
// desktop's engine; so does every text after it.
TEST(EngineOrder, AScreenReaderTurnedOnWhileTheOwnVoiceStartsTakesTheFirstText) {
    ScreenReaderOrder o;
    Gate gate;
    o.starting = &gate;
    auto voice = o.voice();
    voice->speak("welcome");
    ASSERT_TRUE(testbed::eventually([&] { return o.ownStarts() == 1; }));
    o.screenReader = true;
    gate.release();
    ASSERT_TRUE(testbed::eventually([&] { return !o.desktop->said.said().empty(); }));
    voice->speak("24");
    voice.reset();
    EXPECT_EQ(o.desktop->said.said(), (Texts{"welcome", "24"}));
    EXPECT_TRUE(o.ownSaid(0).empty());
}

TEST(EngineOrder, AScreenReaderTurnedOnMidRunTakesTheNextTextAndKeepsTheRest) {
    ScreenReaderOrder o;
    auto voice = o.voice();
    voice->speak("welcome");
    ASSERT_TRUE(testbed::eventually([&] { return !o.ownSaid(0).empty(); }));
    o.screenReader = true;
    voice->speak("addition");
    ASSERT_TRUE(testbed::eventually([&] { return !o.desktop->said.said().empty(); }));
    o.screenReader = false;  // turned off again: the trainer stays
    voice->speak("24");
    EXPECT_EQ(o.desktop->said.said(), (Texts{"addition", "24"}));
    EXPECT_EQ(o.ownSaid(0), Texts{"welcome"});
    // Released, so that whatever it still had to say is cut.
    EXPECT_TRUE(testbed::eventually([&] { return o.own(0).use_count() == 2; })) << "the own voice was kept";
    o.desktop->breakNow();  // the own voice did not fail: it is the fallback
    ASSERT_TRUE(testbed::eventually([&] { return !o.ownSaid(1).empty(); }));
    voice.reset();
    EXPECT_EQ(o.ownSaid(1), Texts{"24"});
    EXPECT_EQ(o.ownStarts(), 2);
}

}  // namespace
