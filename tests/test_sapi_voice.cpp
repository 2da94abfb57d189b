// SPDX-License-Identifier: GPL-3.0-or-later
// The SAPI voice against a voice object of the test's own, registered for
// the SAPI voice's class in this process: what reaches Speak, a Speak that
// fails or hangs, and a system where no voice object can be made.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "speech/worker.h"
#include "testbed/fakes.h"
#include "testbed/windows/spvoice_server.h"
#include "voices/sapi_voice.h"
#include "voices/trainer_voice.h"

namespace {

using namespace std::chrono_literals;
using Said = std::vector<std::pair<std::wstring, long>>;

// The voice object's class served by this process while it lives. Every
// Speak is kept with its flags; a Speak of `failing` fails, and while
// `held`, a Speak waits until release() (20 s at most, so that a test that
// deadlocks fails instead of hanging). refuse: no voice object can be made.
class Server {
public:
    explicit Server(bool refuse = false) {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        testbed::SpeakHandler speak;
        if (!refuse) speak = [this](const std::wstring& text, long flags) { return onSpeak(text, flags); };
        IClassFactory* factory = testbed::newVoiceFactory(std::move(speak));
        registered_ = CoRegisterClassObject(testbed::kSpVoiceClass, factory, CLSCTX_INPROC_SERVER,
                                            REGCLS_MULTIPLEUSE, &cookie_);
        factory->Release();
    }
    // The voice's thread may still be inside a Speak, left behind: it is let
    // go and waited for, so that it never calls into a server that is gone.
    ~Server() {
        release();
        if (SUCCEEDED(registered_)) CoRevokeClassObject(cookie_);
        testbed::eventually([] { return testbed::serverInUse() == 0; });
        CoUninitialize();
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    bool registered() const { return SUCCEEDED(registered_); }
    Said said() {
        std::lock_guard lock(mutex_);
        return said_;
    }
    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        cv_.notify_all();
    }
    std::wstring failing;

private:
    HRESULT onSpeak(const std::wstring& text, long flags) {
        std::unique_lock lock(mutex_);
        said_.emplace_back(text, flags);
        cv_.wait_for(lock, 20s, [&] { return !held_; });
        return text == failing ? E_FAIL : S_OK;
    }
    HRESULT registered_ = E_FAIL;
    DWORD cookie_ = 0;
    std::mutex mutex_;
    std::condition_variable cv_;
    Said said_;
    bool held_ = false;
};

// The trainer's voice on Windows, SAPI through the engine order: each text
// goes to Speak, in order, with the flags 3, the empty one too, and one
// whose Speak fails loses nothing after it.
TEST(SapiVoice, EveryTextReachesSpeakWithTheFlagsThreeInOrder) {
    Server server;
    ASSERT_TRUE(server.registered());
    server.failing = L"seven";
    auto voice = voices::createTrainerVoice([] { return false; }, nullptr);
    const Said expected{{L"Hello! Let's do some maths.", 3}, {L"seven", 3}, {L"", 3}, {L"12 plus 12 \u00bd", 3}};
    voice->speak("Hello! Let's do some maths.");
    ASSERT_TRUE(testbed::eventually([&] { return !server.said().empty(); }));
    for (const char* text : {"seven", "", "12 plus 12 \u00bd"}) voice->speak(text);
    ASSERT_TRUE(testbed::eventually([&] { return server.said().size() == expected.size(); }));
    EXPECT_EQ(server.said(), expected);
}

// A Speak that hangs (a broken voice) holds up neither the window's speak()
// nor closing, which leaves the voice's thread behind.
TEST(SapiVoice, NeitherSpeakingNorClosingWaitsForASpeakThatHangs) {
    Server server;
    ASSERT_TRUE(server.registered());
    server.hold();
    auto voice = voices::createSapiVoice();
    ASSERT_TRUE(voice);
    voice->speak("welcome");
    ASSERT_TRUE(testbed::eventually([&] { return server.said().size() == 1; }));
    // A speak() that waited for the held Speak would take its 20 s.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) voice->speak("card " + std::to_string(i));
    voice.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, speech::kCloseWait + 10s);
    server.release();
    // The texts waiting when it closed are not spoken after it.
    EXPECT_TRUE(testbed::eventually([] { return testbed::serverInUse() == 1; }));
    EXPECT_EQ(server.said().size(), 1u);
}

TEST(SapiVoice, NoVoiceWhereNoVoiceObjectCanBeMade) {
    Server server(/*refuse=*/true);
    ASSERT_TRUE(server.registered());
    EXPECT_EQ(voices::createSapiVoice(), nullptr);
}

}  // namespace
