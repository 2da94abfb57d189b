// SPDX-License-Identifier: GPL-3.0-or-later
// The screen reader's channel on Windows, on a stand-in for
// UiaRaiseNotificationEvent (Wine has none) over the provider of a real
// window, and in the trainer's order beside a recording own voice.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "speech/screen_reader_order.h"
#include "testbed/fakes.h"
#include "voices/uia_notification.h"

namespace {

// text, kind, processing, activity id, whether a provider came with it.
using Notification = std::tuple<std::wstring, int, int, std::wstring, bool>;

struct Notifications {
    std::mutex mutex;
    std::vector<Notification> raised;
    std::vector<Notification> all() {
        std::lock_guard lock(mutex);
        return raised;
    }
} notifications;

HRESULT WINAPI raiseNotification(IRawElementProviderSimple* provider, int kind, int processing, BSTR text,
                                 BSTR activityId) {
    std::lock_guard lock(notifications.mutex);
    notifications.raised.emplace_back(std::wstring(text, SysStringLen(text)), kind, processing,
                                      std::wstring(activityId, SysStringLen(activityId)), provider != nullptr);
    return S_OK;
}

HRESULT WINAPI noProvider(HWND, IRawElementProviderSimple** provider) {
    *provider = nullptr;
    return E_INVALIDARG;
}

// A window of the test's own, for its UI Automation provider.
struct Window {
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ~Window() { DestroyWindow(hwnd); }
};

voices::UiaFunctions withFakeRaise() {
    voices::UiaFunctions functions = voices::systemUiaFunctions();
    functions.raiseNotification = raiseNotification;
    return functions;
}

// In the trainer's order: the own voice while the switch is off; from the
// first text after it comes on, every text is a notification, the newest
// replacing the one before, and nothing more reaches the own voice, also
// once the switch is off again.
TEST(UiaNotification, WithTheSwitchOnEveryTextIsTheNewestNotificationInOrder) {
    Window window;
    ASSERT_TRUE(window.hwnd);
    auto own = std::make_shared<testbed::LockedVoice>();
    auto on = std::make_shared<std::atomic<bool>>(false);
    auto voice = speech::ownVoiceUnlessScreenReader(
        [own] { return own; }, [&window] { return voices::createUiaNotification(window.hwnd, withFakeRaise()); },
        [on] { return on->load(); });
    voice->speak("Hello! Let's do some maths.");
    ASSERT_TRUE(testbed::eventually([&] { return own->said().size() == 1; }));
    *on = true;
    std::size_t count = 0;
    for (const char* text : {"seven", "", "12 plus 12 \u00bd", "Speech off"}) {
        if (count == 3) *on = false;
        voice->speak(text);
        ASSERT_TRUE(testbed::eventually([&] { return notifications.all().size() == count + 1; }));
        ++count;
    }
    voice.reset();
    const std::vector<Notification> expected{
        {L"seven", 4, 1, L"Abacorn.Speech", true},
        {L"", 4, 1, L"Abacorn.Speech", true},
        {L"12 plus 12 \u00bd", 4, 1, L"Abacorn.Speech", true},
        {L"Speech off", 4, 1, L"Abacorn.Speech", true},
    };
    EXPECT_EQ(notifications.all(), expected);
    EXPECT_EQ(own->said(), std::vector<std::string>{"Hello! Let's do some maths."});
}

// No channel without the function or without a provider for the window:
// with the switch on, the own voice speaks instead.
TEST(UiaNotification, WithoutTheFunctionTheOwnVoiceSpeaks) {
    Window window;
    voices::UiaFunctions missing = voices::systemUiaFunctions();
    missing.raiseNotification = nullptr;
    EXPECT_EQ(voices::createUiaNotification(window.hwnd, missing), nullptr);
    EXPECT_EQ(voices::createUiaNotification(window.hwnd, {noProvider, raiseNotification}), nullptr);

    auto own = std::make_shared<testbed::LockedVoice>();
    auto voice = speech::ownVoiceUnlessScreenReader(
        [own] { return own; }, [&window, missing] { return voices::createUiaNotification(window.hwnd, missing); },
        [] { return true; });
    voice->speak("seven");
    ASSERT_TRUE(testbed::eventually([&] { return own->said().size() == 1; }));
    voice->speak("eight");
    ASSERT_TRUE(testbed::eventually([&] { return own->said().size() == 2; }));
    EXPECT_EQ(own->said(), (std::vector<std::string>{"seven", "eight"}));
}

}  // namespace
