// SPDX-License-Identifier: GPL-3.0-or-later
// The text-to-speech engine as the trainer uses it: hand over a text, which
// is spoken in the background; whatever is still being spoken or waiting is
// dropped first. The call never waits for the speech.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace speech {

class SpeechEngine {
public:
    virtual ~SpeechEngine() = default;
    virtual void speak(const std::string& text) = 0;
    // Asks to be told, once and from any thread, when the engine breaks for
    // good after it started (its daemon died): the text it was handed last
    // is then lost to it. Engines that cannot break ignore it.
    virtual void whenBroken(std::function<void()> broke) { (void)broke; }
};

// Creates the run's one engine; an empty result means the program is silent.
using EngineFactory = std::function<std::shared_ptr<SpeechEngine>()>;

}  // namespace speech
