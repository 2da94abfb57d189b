// SPDX-License-Identifier: GPL-3.0-or-later
// A background thread that closing never waits for longer than a moment.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace speech {

// How long closing waits for a speech thread before leaving it behind.
inline constexpr std::chrono::milliseconds kCloseWait{500};

// Runs `body` on a thread of its own. finishWithin() joins it when it ends
// in time and otherwise leaves it behind (detached): a thread stuck inside a
// sound server or a speech daemon cannot be killed safely, and waiting could
// take forever. Whatever the body touches must therefore be owned by the
// body itself (shared pointers), never by the object that started it.
class Worker {
public:
    explicit Worker(std::function<void()> body) : done_(std::make_shared<Done>()) {
        thread_ = std::thread([done = done_, body = std::move(body)] {
            body();
            std::lock_guard lock(done->mutex);
            done->finished = true;
            done->cv.notify_all();
        });
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    ~Worker() { finishWithin(std::chrono::milliseconds(0)); }

    // True when the thread ended within `wait` (and was joined).
    bool finishWithin(std::chrono::milliseconds wait) {
        if (!thread_.joinable()) return true;
        bool finished;
        {
            std::unique_lock lock(done_->mutex);
            finished = done_->cv.wait_for(lock, wait, [&] { return done_->finished; });
        }
        if (finished) thread_.join();
        else thread_.detach();
        return finished;
    }

private:
    struct Done {
        std::mutex mutex;
        std::condition_variable cv;
        bool finished = false;
    };
    std::shared_ptr<Done> done_;
    std::thread thread_;
};

}  // namespace speech
