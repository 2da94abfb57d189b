// SPDX-License-Identifier: GPL-3.0-or-later
#include "voices/trainer_voice.h"

#include "voices/embedded_voice.h"
#include "speech/engine_chain.h"
#include "voices/speechd_engine.h"

namespace speech {

std::shared_ptr<SpeechEngine> createTrainerVoice() {
    return firstThatStarts({createSpeechdEngine, [] { return createEmbeddedVoice(); }});
}

}  // namespace speech
