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

#include "speech/engine_chain.h"
#include "speech/worker.h"
#include "support/fakes.h"

namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

struct Engines {
    std::shared_ptr<fakes::LockedVoice> desktop = std::make_shared<fakes::LockedVoice>();
    std::shared_ptr<fakes::LockedVoice> embedded = std::make_shared<fakes::LockedVoice>();
    std::atomic<int> embeddedStarts{0};

    speech::EngineFactory embeddedFactory() {
        return [this] {
            ++embeddedStarts;
            return std::shared_ptr<speech::SpeechEngine>(embedded);
        };
    }
};

// A start that lasts until the test lets it go.
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
        cv.wait(lock, [&] { return open; });
    }
};

TEST(EngineOrder, TheDesktopEngineSpeaksWhenItStartsAndTheEmbeddedVoiceIsNeverLoaded) {
    Engines e;
    auto voice = speech::firstThatStarts({[&] { return std::shared_ptr<speech::SpeechEngine>(e.desktop); },
                                          e.embeddedFactory()});
    voice->speak("welcome");
    ASSERT_TRUE(fakes::eventually([&] { return !e.desktop->said().empty(); }));
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
        ASSERT_TRUE(fakes::eventually([&] { return !e.embedded->said().empty(); }));
        voice->speak("seven");
        EXPECT_EQ(e.embedded->said(), (Texts{"welcome", "seven"}));
        EXPECT_EQ(e.embeddedStarts, 1);
    }
}

TEST(EngineOrder, SilenceWhenNoEngineStarts) {
    auto none = [] { return std::shared_ptr<speech::SpeechEngine>(); };
    auto voice = speech::firstThatStarts({none, none});
    for (int i = 0; i < 100; ++i) voice->speak("card " + std::to_string(i));
    const auto start = std::chrono::steady_clock::now();
    voice.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, speech::kCloseWait + 500ms);
}

TEST(EngineOrder, TextsWaitForASlowStartAndOnlyTheNewestIsSpoken) {
    Engines e;
    Gate gate;
    auto voice = speech::firstThatStarts({[&] {
                                              gate.pass();
                                              return std::shared_ptr<speech::SpeechEngine>(e.desktop);
                                          },
                                          e.embeddedFactory()});
    auto slowest = std::chrono::steady_clock::duration::zero();
    for (const char* text : {"welcome", "standard", "click flash card for answer"}) {
        const auto start = std::chrono::steady_clock::now();
        voice->speak(text);
        slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
    }
    EXPECT_LT(slowest, 100ms) << "speak waited for the engine";
    EXPECT_TRUE(e.desktop->said().empty());
    gate.release();
    ASSERT_TRUE(fakes::eventually([&] { return !e.desktop->said().empty(); }));
    voice->speak("24");
    EXPECT_EQ(e.desktop->said(), (Texts{"click flash card for answer", "24"}));
}

// A desktop engine that never finishes starting (a hanging daemon) holds up
// neither closing nor, once it is left behind, anything else; an engine
// that comes up after closing is released unused.
TEST(EngineOrder, ClosingDoesNotWaitForAStartThatHangs) {
    auto gate = std::make_shared<Gate>();
    auto late = std::make_shared<fakes::LockedVoice>();
    auto entered = std::make_shared<std::atomic<bool>>(false);
    auto voice = speech::firstThatStarts({[gate, late, entered] {
        *entered = true;
        gate->pass();
        return std::shared_ptr<speech::SpeechEngine>(late);
    }});
    voice->speak("welcome");
    ASSERT_TRUE(fakes::eventually([&] { return entered->load(); }));
    const auto start = std::chrono::steady_clock::now();
    voice.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, speech::kCloseWait + 1s);
    gate->release();
    EXPECT_TRUE(fakes::eventually([&] { return late.use_count() == 1; })) << "the late engine was kept";
    EXPECT_TRUE(late->said().empty());
}

// A desktop engine whose daemon dies while the trainer runs.
class BreakingVoice final : public speech::SpeechEngine {
public:
    void speak(const std::string& text) override { said.speak(text); }
    void whenBroken(std::function<void()> broke) override { broke_ = std::move(broke); }
    void breakNow() { broke_(); }
    fakes::LockedVoice said;

private:
    std::function<void()> broke_;
};

TEST(EngineOrder, WhenTheDesktopEngineBreaksTheEmbeddedVoiceSpeaksWhatItLost) {
    Engines e;
    auto desktop = std::make_shared<BreakingVoice>();
    auto voice = speech::firstThatStarts({[&] { return std::shared_ptr<speech::SpeechEngine>(desktop); },
                                          e.embeddedFactory()});
    voice->speak("welcome");
    ASSERT_TRUE(fakes::eventually([&] { return !desktop->said.said().empty(); }));
    voice->speak("24");
    desktop->breakNow();  // "24" was not spoken
    ASSERT_TRUE(fakes::eventually([&] { return !e.embedded->said().empty(); }));
    voice->speak("seven");
    desktop->breakNow();  // told twice: changes nothing
    voice.reset();
    EXPECT_EQ(desktop->said.said(), (Texts{"welcome", "24"}));
    EXPECT_EQ(e.embedded->said(), (Texts{"24", "seven"}));
    EXPECT_EQ(e.embeddedStarts, 1);
}

// An engine that broke before the chain asked to be told (its daemon could
// not be reached): it tells at once, on the chain's own thread, and the
// text handed to it goes to the next engine.
class AlreadyBroken final : public speech::SpeechEngine {
public:
    void speak(const std::string& text) override { said.speak(text); }
    void whenBroken(std::function<void()> broke) override { broke(); }
    fakes::LockedVoice said;
};

TEST(EngineOrder, AnEngineBrokenBeforeItIsAskedHandsItsTextOnAtOnce) {
    Engines e;
    auto broken = std::make_shared<AlreadyBroken>();
    Gate gate;
    auto voice = speech::firstThatStarts({[&] {
                                              gate.pass();
                                              return std::shared_ptr<speech::SpeechEngine>(broken);
                                          },
                                          e.embeddedFactory()});
    voice->speak("welcome");
    gate.release();
    ASSERT_TRUE(fakes::eventually([&] { return !e.embedded->said().empty(); }));
    voice->speak("24");
    EXPECT_EQ(broken->said.said(), Texts{"welcome"});
    EXPECT_EQ(e.embedded->said(), (Texts{"welcome", "24"}));
}

}  // namespace
