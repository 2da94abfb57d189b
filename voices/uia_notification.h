// SPDX-License-Identifier: GPL-3.0-or-later
// The screen reader's channel on Windows: UI Automation notifications,
// which the screen reader speaks in its own queue.
#pragma once

#include <windows.h>

#include <memory>

#include "speech/speech_engine.h"

struct IRawElementProviderSimple;

namespace voices {

// The two functions of uiautomationcore.dll the channel needs.
// UiaRaiseNotificationEvent is missing on older systems and under Wine.
struct UiaFunctions {
    using HostProvider = HRESULT(WINAPI*)(HWND window, IRawElementProviderSimple** provider);
    using RaiseNotification = HRESULT(WINAPI*)(IRawElementProviderSimple* provider, int kind, int processing,
                                               BSTR text, BSTR activityId);
    HostProvider hostProvider = nullptr;
    RaiseNotification raiseNotification = nullptr;
};

// NotificationKind_Other and NotificationProcessing_ImportantMostRecent: the
// newest text replaces the one before, as a purge before speaking does.
inline constexpr int kNotificationKindOther = 4;
inline constexpr int kImportantMostRecent = 1;

// The functions as uiautomationcore.dll exports them (looked up at run
// time); each one missing is nullptr.
UiaFunctions systemUiaFunctions();

// Hands each text to the screen reader as a notification of `window`'s
// UI Automation element (the provider UiaHostProviderFromHwnd gives for
// it), with kNotificationKindOther and kImportantMostRecent, from a thread
// of the engine's own (voices/com_speaker.h): speak() returns at once.
// nullptr when a function is missing or the window has no provider.
std::shared_ptr<speech::SpeechEngine> createUiaNotification(HWND window,
                                                            UiaFunctions functions = systemUiaFunctions());

}  // namespace voices
