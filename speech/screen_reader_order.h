// SPDX-License-Identifier: GPL-3.0-or-later
// Which voice speaks: the trainer's own, or the desktop's speech service
// while a screen reader talks through it.
#pragma once

#include <functional>
#include <memory>

#include "speech/speech_engine.h"

namespace speech {

// The trainer's own voice speaks first; the desktop's speech service takes
// over when it cannot start or breaks, and after that comes silence.
//
// While the desktop's screen-reader switch is on (screenReaderOn() is asked
// at the start and before every text), texts go to the desktop's service
// instead, so that they queue with the screen reader's speech; the own voice
// is then its fallback. A switch turned on during the run moves the next
// text over, and the trainer stays there for the rest of the run. A voice
// that failed is never tried again. Built on firstThatStarts
// (speech/engine_chain.h): returns at once, engines start on its thread.
std::shared_ptr<SpeechEngine> ownVoiceUnlessScreenReader(EngineFactory own, EngineFactory desktop,
                                                         std::function<bool()> screenReaderOn);

}  // namespace speech
