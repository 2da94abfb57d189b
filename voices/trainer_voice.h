// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's voice: the engine order the program uses.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <functional>
#include <memory>

#include "speech/speech_engine.h"

namespace voices {

// The trainer's own embedded voice (voices/embedded_voice.h), then Speech
// Dispatcher (voices/speechd_engine.h), then silence; while the desktop's
// screen-reader switch is on, Speech Dispatcher first, so that the
// trainer's texts queue with the screen reader's. See
// ownVoiceUnlessScreenReader (speech/screen_reader_order.h). Returns at once.
#ifndef _WIN32
std::shared_ptr<speech::SpeechEngine> createTrainerVoice(std::function<bool()> screenReaderOn);
#else
// On Windows the same order over the system's SAPI voice
// (voices/sapi_voice.h) and the screen reader's notifications of `window`
// (voices/uia_notification.h), which fall back to SAPI where the system
// has none.
std::shared_ptr<speech::SpeechEngine> createTrainerVoice(std::function<bool()> screenReaderOn, HWND window);
#endif

}  // namespace voices
