// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/screen_reader_order.h"

#include <atomic>
#include <mutex>
#include <string>
#include <utility>

#include "speech/engine_chain.h"

namespace speech {
namespace {

// The own voice as the first of the order: it counts as broken, handing
// its text on, as soon as a text comes while the screen-reader switch is on.
class UntilScreenReader final : public SpeechEngine {
public:
    UntilScreenReader(std::shared_ptr<SpeechEngine> voice, std::function<bool()> screenReaderOn,
                      std::shared_ptr<std::atomic<bool>> failed)
        : voice_(std::move(voice)), screenReaderOn_(std::move(screenReaderOn)), failed_(std::move(failed)) {}

    void speak(const std::string& text) override {
        if (moveOver()) return;
        voice_->speak(text);
    }

    void whenBroken(std::function<void()> broke) override {
        bool movedOver;
        {
            std::lock_guard lock(mutex_);
            broke_ = broke;
            movedOver = movedOver_;
        }
        if (movedOver) {
            broke();  // the switch came on before the order asked
            return;
        }
        // The voice's own failure: it is not tried again.
        voice_->whenBroken([failed = failed_, broke] {
            *failed = true;
            broke();
        });
    }

private:
    // The switch is the desktop's code, read outside the lock; once moved
    // over, the voice stays moved over.
    bool moveOver() {
        {
            std::lock_guard lock(mutex_);
            if (movedOver_) return true;
        }
        if (!screenReaderOn_()) return false;
        std::function<void()> broke;
        {
            std::lock_guard lock(mutex_);
            if (movedOver_) return true;
            movedOver_ = true;
            broke = broke_;
        }
        // Not asked yet (the text came while the chain was settling):
        // whenBroken() tells instead.
        if (broke) broke();
        return true;
    }

    std::shared_ptr<SpeechEngine> voice_;
    std::function<bool()> screenReaderOn_;
    std::shared_ptr<std::atomic<bool>> failed_;
    std::mutex mutex_;
    std::function<void()> broke_;
    bool movedOver_ = false;
};

}  // namespace

std::shared_ptr<SpeechEngine> ownVoiceUnlessScreenReader(EngineFactory own, EngineFactory desktop,
                                                         std::function<bool()> screenReaderOn) {
    auto failed = std::make_shared<std::atomic<bool>>(false);  // the own voice's
    auto start = [own, failed]() -> std::shared_ptr<SpeechEngine> {
        std::shared_ptr<SpeechEngine> voice = own ? own() : nullptr;
        if (!voice) *failed = true;
        return voice;
    };
    auto first = [start, screenReaderOn, failed]() -> std::shared_ptr<SpeechEngine> {
        if (screenReaderOn()) return nullptr;
        auto voice = start();
        if (!voice) return nullptr;
        return std::make_shared<UntilScreenReader>(std::move(voice), screenReaderOn, failed);
    };
    auto fallback = [start, failed]() -> std::shared_ptr<SpeechEngine> {
        return *failed ? nullptr : start();
    };
    return firstThatStarts({first, std::move(desktop), fallback});
}

}  // namespace speech
