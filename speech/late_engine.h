// SPDX-License-Identifier: GPL-3.0-or-later
// An engine that is built when start() is called or when the first text
// arrives, whichever comes first. The program starts its voice this way
// once the window's first frame is on the screen: building an engine (the
// desktop's spawns the speech-dispatcher daemon) competes with the window
// for the processor. A text handed over earlier builds the engine at once
// and is spoken; a factory that fails or throws leaves the program silent.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "speech/speech_engine.h"

namespace speech {

class LateEngine final : public SpeechEngine {
public:
    explicit LateEngine(EngineFactory factory) : factory_(std::move(factory)) {}

    void start() {
        if (!factory_) return;
        const EngineFactory factory = std::exchange(factory_, nullptr);
        try {
            engine_ = factory();
        } catch (...) {
            engine_.reset();
        }
    }

    void speak(const std::string& text) override {
        start();
        if (engine_) engine_->speak(text);
    }

private:
    EngineFactory factory_;
    std::shared_ptr<SpeechEngine> engine_;
};

}  // namespace speech
