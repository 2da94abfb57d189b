// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's voice on Windows: the system's SAPI 5 voice, then silence.
#include "voices/trainer_voice.h"

#include "speech/engine_chain.h"
#include "voices/sapi_voice.h"

namespace voices {

// The screen reader is not asked yet: SAPI is the one voice either way.
std::shared_ptr<speech::SpeechEngine> createTrainerVoice(std::function<bool()>) {
    return speech::firstThatStarts({createSapiVoice});
}

}  // namespace voices
