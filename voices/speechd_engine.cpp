// SPDX-License-Identifier: GPL-3.0-or-later
// Speech Dispatcher through libspeechd, kept off the window's thread.
//
// Each text cancels this connection's speech and goes at priority MESSAGE,
// so a screen reader's speech on the same daemon is queued, never cut. How
// libspeechd and the daemon behave, measured: docs/qt-notes.md.
#include "voices/speechd_engine.h"

#include <libspeechd.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "voices/loaded_libraries.h"
#include "speech/worker.h"

namespace voices {
namespace {

using Clock = std::chrono::steady_clock;

// Shared by the caller's side, the engine's thread, the watch thread and
// libspeechd's reader thread; every one of them holds it, so a thread left
// behind in a call that hangs never reaches freed memory.
struct Link {
    std::mutex mutex;
    std::condition_variable wake;  // a text to send, or closing (engine's thread)
    std::condition_variable watch;  // a deadline changed, or closing (watch thread)

    // Texts not yet sent, oldest first. Each one is sent, cancelling the one
    // before, as the window handed them over: what the daemon is told is what
    // the trainer said, whatever the load. A flood keeps only the newest few.
    std::deque<std::string> texts;
    static constexpr std::size_t kMaxWaiting = 8;
    bool sending = false;              // a text is on its way to the daemon
    const Clock::time_point created = Clock::now();
    std::optional<Clock::time_point> opened;
    // Since when a text handed over has been waiting to begin; empty when
    // the newest text has begun.
    std::optional<Clock::time_point> waitingSince;
    Clock::time_point lastHanded;
    int sent = 0;       // the id of the newest message sent, 0 before
    int lastBegun = 0;  // the highest message id the daemon said began

    bool broken = false;
    bool closing = false;
    std::function<void()> whenBroken;

    // The deadline the watch thread waits for; empty: none.
    std::optional<Clock::time_point> deadline() const {
        if (!opened) return created + kOpenWait;
        if (!waitingSince) return std::nullopt;
        return std::max(*waitingSince, *opened) + kBeginWait;
    }

    // After a message id or a beginning: done waiting once the newest text
    // has begun.
    void settle() {
        if (waitingSince && texts.empty() && !sending && lastBegun >= sent) waitingSince.reset();
        watch.notify_all();
    }

    // The daemon began a text. Should a newer one be on its way, the daemon
    // is alive all the same: that one gets its full time from when it came.
    void begun(int message) {
        lastBegun = std::max(lastBegun, message);
        if (waitingSince) waitingSince = std::max(*waitingSince, lastHanded);
        settle();
    }

    // Marks the engine broken (lock held). True when this call broke it;
    // `told` is then what is to be told, outside the lock.
    bool breakDown(std::function<void()>& told) {
        if (broken) return false;
        broken = true;
        wake.notify_all();
        watch.notify_all();
        told = std::exchange(whenBroken, nullptr);
        return true;
    }
};

void tell(const std::function<void()>& told, const std::string& why) {
    std::fprintf(stderr, "abacorn: Speech Dispatcher %s; the trainer's own voice speaks from now on\n", why.c_str());
    if (told) told();
}

// --- libspeechd's callbacks --------------------------------------------------

// The open connections by client id. Never destroyed: a reader thread left
// behind may still call in while the program exits.
struct Registry {
    std::mutex mutex;
    std::vector<std::pair<std::size_t, std::weak_ptr<Link>>> links;
};

Registry& registry() {
    static Registry* const r = new Registry;
    return *r;
}

void enlist(std::size_t client, const std::shared_ptr<Link>& link) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.links.emplace_back(client, link);
}

void delist(const std::shared_ptr<Link>& link) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.links, [&](const auto& entry) {
        auto l = entry.second.lock();
        return !l || l == link;
    });
}

// On libspeechd's reader thread. No cancellation point in here: spd_close()
// cancels that thread, which must not end while holding a lock of ours.
void onBegin(std::size_t message, std::size_t client, SPDNotificationType) {
    std::shared_ptr<Link> link;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        for (const auto& [id, weak] : r.links)
            if (id == client) link = weak.lock();
    }
    if (!link) return;
    std::lock_guard lock(link->mutex);
    link->begun(static_cast<int>(message));
}

// End and cancel are turned on so that the daemon keeps the engine told of
// every message; the engine itself waits only for beginnings.
void onOther(std::size_t, std::size_t, SPDNotificationType) {}

// --- the engine's thread -----------------------------------------------------

void blockSigpipe() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// The connection's client id, which the daemon's notifications carry; 0
// when the daemon does not answer. (spd_get_client_id() reads a missing
// reply through a null pointer.)
int clientId(SPDConnection* c) {
    char* reply = nullptr;
    pthread_mutex_lock(&c->ssip_mutex);
    const int failed = spd_execute_command_with_reply(c, "HISTORY GET CLIENT_ID", &reply);
    pthread_mutex_unlock(&c->ssip_mutex);
    int id = 0;
    // "245-<id>\r\n245 OK CLIENT ID SENT\r\n"
    if (!failed && reply && std::strncmp(reply, "245-", 4) == 0) id = std::atoi(reply + 4);
    std::free(reply);
    return id;
}

SPDConnection* open(const std::shared_ptr<Link>& link) {
    char* error = nullptr;
    SPDConnection* c = spd_open2("abacorn", "main", nullptr, SPD_MODE_THREADED, nullptr, 1, &error);
    if (!c) {
        std::function<void()> told;
        bool broke;
        {
            std::lock_guard lock(link->mutex);
            broke = link->breakDown(told);
        }
        if (broke) tell(told, std::string("cannot be reached (") + (error ? error : "no reason given") + ")");
        std::free(error);
        return nullptr;
    }
    if (const int client = clientId(c); client > 0) enlist(static_cast<std::size_t>(client), link);
    c->callback_begin = onBegin;
    c->callback_end = onOther;
    c->callback_cancel = onOther;
    spd_set_notification_on(c, static_cast<SPDNotification>(SPD_BEGIN | SPD_END | SPD_CANCEL));
    return c;
}

void run(const std::shared_ptr<Link>& link) {
    blockSigpipe();
    // The window's libraries and libspeechd's are all loaded by now, also
    // when the embedded voice is to load its own.
    dropLoaderTables();
    SPDConnection* c = open(link);
    if (!c) return;
    {
        std::lock_guard lock(link->mutex);
        if (!link->broken) link->opened = Clock::now();
        link->watch.notify_all();
    }
    for (;;) {
        std::string text;
        {
            std::unique_lock lock(link->mutex);
            link->wake.wait(lock, [&] { return link->closing || link->broken || !link->texts.empty(); });
            if (link->closing || link->broken) break;
            text = std::move(link->texts.front());
            link->texts.pop_front();
            link->sending = true;
        }
        spd_cancel(c);
        // libspeechd cannot send an empty text (it counts writing nothing as
        // a failure, midway through SPEAK): the cancel is all it does.
        int id = 0;
        {
            std::lock_guard lock(link->mutex);
            // Given up while the cancel hung: nothing more of ours is said.
            if (link->broken || link->closing) break;
        }
        if (!text.empty()) id = spd_say(c, SPD_MESSAGE, text.c_str());
        std::function<void()> told;
        bool broke = false;
        {
            std::lock_guard lock(link->mutex);
            link->sending = false;
            if (id < 0) {
                broke = link->breakDown(told);
            } else if (id == 0) {
                link->lastBegun = std::max(link->lastBegun, link->sent);  // nothing to wait for
                link->settle();
            } else {
                link->sent = id;
                link->settle();
            }
        }
        if (broke) tell(told, "went away");
        if (id < 0) break;
    }
    // Closing, or broken: should the daemon answer again after hanging, it
    // says nothing more of ours over the voice that took over.
    spd_cancel(c);
    delist(link);
    spd_close(c);
}

// Reports the engine broken when its deadline passes.
void watch(const std::shared_ptr<Link>& link) {
    std::unique_lock lock(link->mutex);
    for (;;) {
        if (link->closing || link->broken) return;
        const auto deadline = link->deadline();
        if (!deadline) {
            link->watch.wait(lock);
            continue;
        }
        if (Clock::now() < *deadline) {
            link->watch.wait_until(lock, *deadline);
            continue;
        }
        const bool opening = !link->opened;
        std::function<void()> told;
        link->breakDown(told);
        lock.unlock();
        const std::string why = opening ? "did not answer within " + std::to_string(kOpenWait.count()) + " ms"
                                        : "did not begin a text within " + std::to_string(kBeginWait.count()) + " ms";
        tell(told, why);
        return;
    }
}

class SpeechdEngine final : public speech::SpeechEngine {
public:
    SpeechdEngine()
        : link_(std::make_shared<Link>()),
          speaker_([link = link_] { run(link); }),
          watcher_([link = link_] { watch(link); }) {}

    ~SpeechdEngine() override {
        bool broken;
        {
            std::lock_guard lock(link_->mutex);
            link_->closing = true;
            broken = link_->broken;
            link_->whenBroken = nullptr;
        }
        link_->wake.notify_all();
        link_->watch.notify_all();
        watcher_.finishWithin(speech::kCloseWait);
        // A broken engine's thread may be stuck in a call that never
        // returns: it is not waited for at all.
        speaker_.finishWithin(broken ? std::chrono::milliseconds(0) : speech::kCloseWait);
    }

    void speak(const std::string& text) override {
        {
            std::lock_guard lock(link_->mutex);
            if (link_->broken || link_->closing) return;
            link_->texts.push_back(text);
            if (link_->texts.size() > Link::kMaxWaiting) link_->texts.pop_front();
            link_->lastHanded = Clock::now();
            if (!link_->waitingSince) link_->waitingSince = link_->lastHanded;
        }
        link_->wake.notify_all();
        link_->watch.notify_all();
    }

    void whenBroken(std::function<void()> broke) override {
        {
            std::lock_guard lock(link_->mutex);
            if (!link_->broken) {
                link_->whenBroken = std::move(broke);
                return;
            }
        }
        // Broke before anyone asked (the daemon could not be reached).
        if (broke) broke();
    }

private:
    std::shared_ptr<Link> link_;
    speech::Worker speaker_;
    speech::Worker watcher_;
};

}  // namespace

std::shared_ptr<speech::SpeechEngine> createSpeechdEngine() { return std::make_shared<SpeechdEngine>(); }

}  // namespace voices
