// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/engine_chain.h"

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "speech/worker.h"

namespace speech {
namespace {

// Shared by the caller's side and the starting thread, which may outlive
// the engine (left behind inside a factory that hangs). No engine is called
// under its mutex: an engine may break inside speak() and tell at once.
struct Start {
    std::mutex mutex;
    std::condition_variable wake;
    std::shared_ptr<SpeechEngine> engine;  // the one that started
    std::uint64_t generation = 0;           // counts the engines settled; a break report names its own
    bool settled = false;                   // engine (or silence) is final until it breaks
    bool broken = false;                    // engine broke; the next one is to start
    std::optional<std::string> waiting;     // the newest text handed over while unsettled
    std::optional<std::string> handed;      // the newest text handed to engine
    std::atomic<bool> closing{false};
};

std::shared_ptr<SpeechEngine> startNext(const std::shared_ptr<Start>& start,
                                        const std::vector<EngineFactory>& order, std::size_t& next) {
    std::shared_ptr<SpeechEngine> engine;
    while (!engine && next < order.size() && !start->closing) {
        try {
            engine = order[next] ? order[next]() : nullptr;
        } catch (...) {
            engine = nullptr;  // a factory that throws counts as one that failed
        }
        ++next;
    }
    return engine;
}

// Tells the chain that the engine of `generation` broke. A second report of
// the same break changes nothing: the text it lost is already waiting, and
// a newer one may have taken its place.
void broke(const std::weak_ptr<Start>& weak, std::uint64_t generation) {
    auto s = weak.lock();
    if (!s) return;
    {
        std::lock_guard guard(s->mutex);
        if (s->generation != generation || s->broken) return;
        s->broken = true;
        s->settled = false;
        // The text it lost goes to the next engine, unless a newer one
        // comes first.
        s->waiting = s->handed;
    }
    s->wake.notify_all();
}

// Starts engines in order; when the one speaking breaks, the next ones.
void run(const std::shared_ptr<Start>& start, const std::vector<EngineFactory>& order) {
    std::size_t next = 0;
    for (;;) {
        // Declared before the lock, so that an engine nobody takes is
        // released after it, on this thread.
        std::shared_ptr<SpeechEngine> engine = startNext(start, order, next);
        std::unique_lock lock(start->mutex);
        // What waits is handed over before the chain counts as settled, one
        // text after the other outside the lock; a text that comes meanwhile
        // waits in turn and follows, so that none overtakes an older one.
        while (engine && start->waiting && !start->closing) {
            std::string text = std::move(*start->waiting);
            start->waiting.reset();
            start->handed = text;
            lock.unlock();
            engine->speak(text);
            lock.lock();
        }
        if (start->closing) return;  // nobody is listening any more
        start->waiting.reset();
        start->engine = engine;
        start->broken = false;
        const std::uint64_t generation = ++start->generation;
        start->settled = true;
        if (!engine) return;  // silence from here on
        // Asked only now that it is the chain's engine: one that broke
        // already (its daemon could not be reached) tells at once.
        lock.unlock();
        engine->whenBroken([weak = std::weak_ptr<Start>(start), generation] { broke(weak, generation); });
        lock.lock();
        start->wake.wait(lock, [&] { return start->closing || start->broken; });
        if (start->closing) return;  // the engine is released by the closing side
        // The broken engine goes before the next one starts (it may hold
        // the sound device); its generation stays until then, so that its
        // second report is known for one.
        std::shared_ptr<SpeechEngine> gone;
        gone.swap(start->engine);
        lock.unlock();
        engine.reset();
        gone.reset();
    }
}

class EngineChain final : public SpeechEngine {
public:
    explicit EngineChain(std::vector<EngineFactory> order)
        : start_(std::make_shared<Start>()),
          worker_([start = start_, order = std::move(order)] { run(start, order); }) {}

    ~EngineChain() override {
        {
            std::lock_guard lock(start_->mutex);
            start_->closing = true;
        }
        start_->wake.notify_all();
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
            if (engine) start_->handed = text;
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
