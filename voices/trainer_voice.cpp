// SPDX-License-Identifier: GPL-3.0-or-later
#include "voices/trainer_voice.h"

#include <utility>

#include "speech/screen_reader_order.h"
#include "voices/embedded_voice.h"
#include "voices/speechd_engine.h"

namespace voices {

std::shared_ptr<speech::SpeechEngine> createTrainerVoice(std::function<bool()> screenReaderOn) {
    return speech::ownVoiceUnlessScreenReader([] { return createEmbeddedVoice(); }, createSpeechdEngine,
                                      std::move(screenReaderOn));
}

}  // namespace voices
