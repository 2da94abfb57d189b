#include "speech/engine_chain.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "speech/worker.h"

namespace speech {
namespace {

// Shared by the caller's side and the starting thread, which may outlive
// the engine (left behind inside a factory that hangs).
struct Start {
    std::mutex mutex;
    std::shared_ptr<SpeechEngine> engine;  // the one that started
    bool settled = false;                   // every factory has been tried
    std::optional<std::string> waiting;     // the newest text handed over meanwhile
    std::atomic<bool> closing{false};
};

void run(const std::shared_ptr<Start>& start, const std::vector<EngineFactory>& order) {
    std::shared_ptr<SpeechEngine> engine;
    for (const auto& factory : order) {
        if (start->closing) break;
        try {
            engine = factory ? factory() : nullptr;
        } catch (...) {
            engine = nullptr;  // a factory that throws counts as one that failed
        }
        if (engine) break;
    }
    std::shared_ptr<SpeechEngine> unused;  // released after the lock, on this thread
    std::lock_guard lock(start->mutex);
    if (start->closing) unused.swap(engine);  // nobody is listening any more
    // Handed over before the chain counts as settled, so that no newer text
    // can reach the engine ahead of it (speak() never blocks, by contract).
    if (engine && start->waiting) engine->speak(*start->waiting);
    start->waiting.reset();
    start->engine = engine;
    start->settled = true;
}

class EngineChain final : public SpeechEngine {
public:
    explicit EngineChain(std::vector<EngineFactory> order)
        : start_(std::make_shared<Start>()),
          worker_([start = start_, order = std::move(order)] { run(start, order); }) {}

    ~EngineChain() override {
        start_->closing = true;
        worker_.finishWithin(kCloseWait);
        std::shared_ptr<SpeechEngine> engine;
        {
            std::lock_guard lock(start_->mutex);
            engine.swap(start_->engine);
        }
        // The engine closes here, within its own close wait.
    }

    void speak(const std::string& text) override {
        std::shared_ptr<SpeechEngine> engine;
        {
            std::lock_guard lock(start_->mutex);
            if (!start_->settled) {
                start_->waiting = text;
                return;
            }
            engine = start_->engine;
        }
        if (engine) engine->speak(text);
    }

private:
    std::shared_ptr<Start> start_;
    Worker worker_;
};

}  // namespace

std::shared_ptr<SpeechEngine> firstThatStarts(std::vector<EngineFactory> order) {
    return std::make_shared<EngineChain>(std::move(order));
}

}  // namespace speech
