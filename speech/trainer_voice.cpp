// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/trainer_voice.h"

#include "speech/embedded_voice.h"
#include "speech/engine_chain.h"
#include "speech/speechd_engine.h"

namespace speech {

std::shared_ptr<SpeechEngine> createTrainerVoice() {
    return firstThatStarts({createSpeechdEngine, [] { return createEmbeddedVoice(); }});
}

}  // namespace speech
