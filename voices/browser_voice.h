// SPDX-License-Identifier: GPL-3.0-or-later
// The browser's own speech (speechSynthesis) as the trainer's engine: the
// device's voice, English, one on the device preferred. Where the page has
// no speech the engine is not made and the trainer runs silently.
#pragma once

#include <memory>

#include "speech/speech_engine.h"

namespace voices {

class BrowserVoice : public speech::SpeechEngine {
public:
    ~BrowserVoice() override;
    // Drops what is being said or waits, then hands the text to the browser.
    void speak(const std::string& text) override;
};

// nullptr where the browser has no speech synthesis.
std::shared_ptr<speech::SpeechEngine> createBrowserVoice();

}  // namespace voices
