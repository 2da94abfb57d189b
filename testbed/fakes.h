// SPDX-License-Identifier: GPL-3.0-or-later
// Fakes for the platform services, and a rig that builds the window on them.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/frm_splash.h"
#include "ui/control_table.h"
#include "ui/keyboard.h"

namespace testbed {

// One pass of "pending events": runs whatever the test queued for this pass.
class Pump final : public app::EventPump {
public:
    void processEvents() override {
        ++passes;
        if (onPass) onPass(passes);
        if (!queue.empty()) {
            auto event = std::move(queue.front());
            queue.pop_front();
            event();
        }
    }
    long passes = 0;
    std::function<void(long pass)> onPass;
    std::deque<std::function<void()>> queue;
};

class Screen final : public app::Screen {
public:
    int widthTwips() const override { return widthPx * 15; }
    int heightTwips() const override { return heightPx * 15; }
    int widthPx = 1920, heightPx = 1080;
};

class Window final : public app::Window {
public:
    void show() override { ++shown; }
    void close() override { ++closed; }
    int shown = 0, closed = 0;
};

// A timer in fake time: advance() moves the clock and fires due ticks.
class Timer final : public ui::TimerPort {
public:
    void start(int intervalMs) override {
        running = true;
        interval = intervalMs;
        due = now + intervalMs;
    }
    void stop() override { running = false; }
    // Moves fake time on by ms, ticking on the way; returns the tick times.
    std::vector<std::int64_t> advance(std::int64_t ms) {
        std::vector<std::int64_t> ticks;
        const std::int64_t end = now + ms;
        while (running && due <= end) {
            now = due;
            due = now + interval;  // a periodic timer; the handler may restart it
            ticks.push_back(now);
            if (onTick) onTick();
        }
        now = end;
        return ticks;
    }
    bool running = false;
    int interval = 0;
    std::int64_t now = 0, due = 0;
    std::function<void()> onTick;
};

// Hands out scripted draws first, then falls back to a seeded generator.
class Random final : public problems::RandomSource {
public:
    explicit Random(std::uint64_t seed = 1) : inner_(clock_, seed) {}
    float next() override {
        ++draws;
        if (!script.empty()) {
            const float r = script.front();
            script.pop_front();
            return r;
        }
        return inner_.next();
    }
    void reseed() override {
        ++reseeds;
        inner_.reseed();
    }
    std::deque<float> script;
    long draws = 0, reseeds = 0;

private:
    struct FrozenClock final : problems::Clock {
        std::uint64_t now() override { return 42; }
    } clock_;
    problems::MixingRandom inner_;
};

class Voice final : public speech::SpeechEngine {
public:
    void speak(const std::string& text) override { said->push_back(text); }
    std::shared_ptr<std::vector<std::string>> said = std::make_shared<std::vector<std::string>>();
};

// A recording engine for texts that arrive from the engine order's thread.
class LockedVoice final : public speech::SpeechEngine {
public:
    void speak(const std::string& text) override {
        std::lock_guard lock(mutex_);
        said_.push_back(text);
    }
    std::vector<std::string> said() const {
        std::lock_guard lock(mutex_);
        return said_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> said_;
};

// Polls `done` until it holds or a generous deadline passes (for work on
// other threads; never a measure of speed). Returns whether it held.
inline bool eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The window built on fakes. withVoice=false: no speech engine at all.
struct Rig {
    explicit Rig(bool withVoice = true, std::uint64_t seed = 1)
        : random(seed),
          frm(ui::controlTable(),
              app::Platform{pump, screen, window, timer, random,
                            withVoice ? speech::EngineFactory([this] { return voice; })
                                      : speech::EngineFactory([] { return nullptr; })}) {
        timer.onTick = [this] { frm.dispatch(&app::frmSplash::Timer1_Timer); };
    }

    ui::Control& operator[](const char* name) { return frm.controls()[name]; }
    app::State& s() { return frm.state(); }
    std::vector<std::string>& said() { return *voice->said; }
    // Runs start-up and forgets what it said.
    Rig& started() {
        frm.Form_Load();
        said().clear();
        return *this;
    }
    // A click by the child on a control, as the binding delivers it.
    void click(const char* name) { frm.dispatchControl((*this)[name]); }
    // A key on the focused control, as the binding delivers it: a key whose
    // action is a press goes the road of a click, other keys are the
    // control's own.
    void key(const char* focused, ui::Key key) {
        ui::Control& c = (*this)[focused];
        if (ui::keyAction({key}, c.kind()) == ui::KeyAction::Press) frm.dispatchControl(c);
    }
    // The controls Tab visits from `from` (nullptr: from no focus), `count`
    // presses.
    std::vector<std::string> tabs(const char* from, int count, bool forward = true) {
        const ui::TabOrder order(frm.controls(), ui::tabOrder());
        const auto can = [this](const ui::Control& c) { return ui::canTakeFocus(frm.controls(), c); };
        std::vector<std::string> visited;
        const ui::Control* at = from ? &(*this)[from] : nullptr;
        for (int i = 0; i < count; ++i) {
            if (!(at = order.next(at, forward, can))) break;
            visited.push_back(at->name());
        }
        return visited;
    }
    // A pick in a list by the child.
    void pick(const char* name, int index) {
        (*this)[name].setSelectedIndex(index);
        frm.dispatchControl((*this)[name]);
    }
    int indexOf(const char* list, const std::string& text) {
        auto& c = (*this)[list];
        for (int i = 0; i < c.itemCount(); ++i)
            if (c.itemText(i) == text) return i;
        return -1;
    }
    void pickText(const char* list, const std::string& text) { pick(list, indexOf(list, text)); }
    std::vector<std::string> tiles() {
        std::vector<std::string> t;
        for (const char* n : {"lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6"}) t.push_back((*this)[n].caption());
        return t;
    }

    Pump pump;
    Screen screen;
    Window window;
    Timer timer;
    Random random;
    std::shared_ptr<Voice> voice = std::make_shared<Voice>();
    app::frmSplash frm;
};

}  // namespace testbed
