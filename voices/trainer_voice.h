// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's voice: the engine order the program uses.
#pragma once

#include <memory>

#include "speech/speech_engine.h"

namespace speech {

// Speech Dispatcher (voices/speechd_engine.h), then the trainer's own
// embedded voice (voices/embedded_voice.h), then silence; see
// firstThatStarts (speech/engine_chain.h). When Speech Dispatcher breaks
// during the run the embedded voice takes over for the rest of it, starting
// with the text that was lost. Returns at once.
std::shared_ptr<SpeechEngine> createTrainerVoice();

}  // namespace speech
