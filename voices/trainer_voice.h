// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's voice: the engine order the program uses.
#pragma once

#include <functional>
#include <memory>

#include "speech/speech_engine.h"

namespace voices {

// The trainer's own embedded voice (voices/embedded_voice.h), then Speech
// Dispatcher (voices/speechd_engine.h), then silence; while the desktop's
// screen-reader switch is on, Speech Dispatcher first, so that the
// trainer's texts queue with the screen reader's. See
// ownVoiceUnlessScreenReader (speech/screen_reader_order.h). On Windows the
// system's SAPI voice (voices/sapi_voice.h), then silence. Returns at once.
std::shared_ptr<speech::SpeechEngine> createTrainerVoice(std::function<bool()> screenReaderOn);

}  // namespace voices
