// SPDX-License-Identifier: GPL-3.0-or-later
#include "voices/com_speaker.h"

#include <windows.h>

#include <objbase.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

#include "speech/worker.h"

namespace voices {
namespace {

// Shared by the caller's side and the engine's thread, which may be left
// behind inside a say that hangs, or inside the opening; it holds this as
// long as it runs.
struct Line {
    enum class State { opening, ready, failed };
    std::mutex mutex;
    std::condition_variable wake;     // a text to speak, or closing
    std::condition_variable settled;  // opening ended, one way or the other
    State state = State::opening;
    // Texts not yet said, oldest first. Each text cuts the one before
    // short, and each say returns at once on a working engine: the waiting
    // line grows only behind a say that hangs, and keeps the newest few.
    std::deque<std::string> texts;
    static constexpr std::size_t kMaxWaiting = 8;
    bool closing = false;
};

void run(const std::shared_ptr<Line>& line, const std::function<ComTalker()>& open) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ComTalker talker;
    if (SUCCEEDED(com)) talker = open();
    const bool opened = static_cast<bool>(talker.say);
    {
        std::lock_guard lock(line->mutex);
        line->state = opened ? Line::State::ready : Line::State::failed;
    }
    line->settled.notify_all();
    while (opened) {
        std::string text;
        {
            std::unique_lock lock(line->mutex);
            line->wake.wait(lock, [&] { return line->closing || !line->texts.empty(); });
            if (line->closing) break;
            text = std::move(line->texts.front());
            line->texts.pop_front();
        }
        talker.say(text);
    }
    if (talker.close) talker.close();
    if (SUCCEEDED(com)) CoUninitialize();
}

class ComSpeaker final : public speech::SpeechEngine {
public:
    explicit ComSpeaker(std::function<ComTalker()> open)
        : line_(std::make_shared<Line>()), speaker_([line = line_, open = std::move(open)] { run(line, open); }) {}

    ~ComSpeaker() override {
        bool opening;
        {
            std::lock_guard lock(line_->mutex);
            line_->closing = true;
            line_->texts.clear();
            opening = line_->state == Line::State::opening;
        }
        line_->wake.notify_all();
        // An opening given up on is not waited for again.
        speaker_.finishWithin(opening ? std::chrono::milliseconds(0) : speech::kCloseWait);
    }

    bool started(std::chrono::milliseconds wait) {
        std::unique_lock lock(line_->mutex);
        line_->settled.wait_for(lock, wait, [&] { return line_->state != Line::State::opening; });
        return line_->state == Line::State::ready;
    }

    void speak(const std::string& text) override {
        {
            std::lock_guard lock(line_->mutex);
            if (line_->closing) return;
            line_->texts.push_back(text);
            if (line_->texts.size() > Line::kMaxWaiting) line_->texts.pop_front();
        }
        line_->wake.notify_all();
    }

private:
    std::shared_ptr<Line> line_;
    speech::Worker speaker_;
};

}  // namespace

std::shared_ptr<speech::SpeechEngine> startComSpeaker(std::function<ComTalker()> open,
                                                      std::chrono::milliseconds openWait) {
    auto speaker = std::make_shared<ComSpeaker>(std::move(open));
    if (!speaker->started(openWait)) return nullptr;
    return speaker;
}

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
    return out;
}

}  // namespace voices
