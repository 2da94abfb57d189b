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
};

// Creates the run's one engine; an empty result means the program is silent.
using EngineFactory = std::function<std::shared_ptr<SpeechEngine>()>;

}  // namespace speech
