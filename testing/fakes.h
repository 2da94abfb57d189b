// SPDX-License-Identifier: GPL-3.0-or-later
// Fakes for the platform services, and a rig that builds the window on them.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/frm_splash.h"
#include "voices/embedded_voice.h"
#include "ui/control_table.h"
#include "ui/keyboard.h"

namespace fakes {

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

// A sound device for the embedded voice: keeps what is played, in order,
// with a flush as an empty entry. paced: a write takes as long as its
// samples last, as on a device whose buffer is full. failAfter: the device
// breaks (the sound server goes away) once that many samples were played
// since it was opened; each open gives a fresh device.
class SoundDevice {
public:
    struct Entry {
        std::chrono::steady_clock::time_point at;
        std::vector<std::int16_t> samples;  // empty: a flush
    };
    bool paced = false;
    std::atomic<std::size_t> failAfter{SIZE_MAX};
    std::atomic<bool> absent{false};  // no device at all: opening fails

    voices::AudioOpener opener() {
        return [this](int rate) -> std::unique_ptr<voices::AudioOut> {
            std::lock_guard lock(mutex_);
            if (absent) return nullptr;
            ++opens_;
            return std::make_unique<Out>(*this, rate);
        };
    }
    std::vector<Entry> played() const {
        std::lock_guard lock(mutex_);
        return played_;
    }
    int opens() const {
        std::lock_guard lock(mutex_);
        return opens_;
    }
    // Everything played since the last flush, or since the start.
    std::vector<std::int16_t> sinceLastFlush() const {
        std::vector<std::int16_t> out;
        for (const auto& e : played()) {
            if (e.samples.empty()) out.clear();
            out.insert(out.end(), e.samples.begin(), e.samples.end());
        }
        return out;
    }
    std::size_t samplesPlayed() const {
        std::size_t n = 0;
        for (const auto& e : played()) n += e.samples.size();
        return n;
    }
    // True once nothing was played for `quiet`.
    bool silentFor(std::chrono::milliseconds quiet) const {
        std::lock_guard lock(mutex_);
        return std::chrono::steady_clock::now() - last_ > quiet;
    }

private:
    class Out final : public voices::AudioOut {
    public:
        Out(SoundDevice& device, int rate) : device_(device), rate_(rate) {}
        bool write(const std::int16_t* samples, std::size_t count) override {
            if (played_ + count > device_.failAfter) return false;
            played_ += count;
            if (device_.paced) std::this_thread::sleep_for(std::chrono::microseconds(count * 1000000 / rate_));
            device_.add({std::chrono::steady_clock::now(), std::vector<std::int16_t>(samples, samples + count)});
            return true;
        }
        bool flush() override {
            device_.add({std::chrono::steady_clock::now(), {}});
            return played_ < device_.failAfter;
        }

    private:
        SoundDevice& device_;
        int rate_;
        std::size_t played_ = 0;
    };
    void add(Entry e) {
        std::lock_guard lock(mutex_);
        last_ = e.at;
        played_.push_back(std::move(e));
    }
    mutable std::mutex mutex_;
    std::vector<Entry> played_;
    int opens_ = 0;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
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

// The tests' recording speech daemon (tests/e2e/ssip_recorder.py) as a
// child process on a socket in `dir`: libspeechd speaks to it through
// address(). events() and said() read its log. Each text sounds for
// speakMs; a held daemon answers a text only at answer(). pause(), resume()
// and kill() send it SIGSTOP, SIGCONT and SIGKILL; it is ended by its PID
// when the object goes.
class RecordingDaemon {
public:
    RecordingDaemon(const std::string& script, const std::string& dir, int speakMs = 300, bool held = false)
        : socket_(dir + "/ssip.sock"), log_(dir + "/speech.log") {
        int ready[2], answers[2];
        if (pipe(ready) != 0 || pipe(answers) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(ready[1], 1);
            dup2(answers[0], 0);
            close(ready[0]);
            close(answers[1]);
            setsid();
            const std::string ms = std::to_string(speakMs);
            execlp("python3", "python3", script.c_str(), "--socket", socket_.c_str(), "--log", log_.c_str(),
                   "--speak-ms", ms.c_str(), held ? "--held" : static_cast<char*>(nullptr),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        close(answers[0]);
        answers_ = answers[1];
        // Kept open while the daemon runs: its stdout.
        out_ = ready[0];
        std::string line;
        char c;
        while (pid_ > 0 && line.size() < 16 && read(out_, &c, 1) == 1 && c != '\n') line += c;
        started_ = line == "ready";
    }
    RecordingDaemon(const RecordingDaemon&) = delete;
    RecordingDaemon& operator=(const RecordingDaemon&) = delete;
    ~RecordingDaemon() {
        if (pid_ > 0) {
            ::kill(pid_, SIGCONT);
            ::kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
        if (answers_ >= 0) close(answers_);
    }

    bool started() const { return started_; }
    std::string address() const { return "unix_socket:" + socket_; }
    // Returns once every thread of the daemon has stopped: SIGSTOP reaches
    // the threads one after the other, and on a busy machine another thread
    // may answer a client meanwhile.
    void pause() {
        ::kill(pid_, SIGSTOP);
        int status = 0;
        while (waitpid(pid_, &status, WUNTRACED) == pid_ && !WIFSTOPPED(status)) {
        }
    }
    void resume() { ::kill(pid_, SIGCONT); }
    // A held daemon answers the oldest text it has not answered.
    void answer() { (void)!write(answers_, "\n", 1); }
    void kill() {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // The log as (event, text) pairs: "say" and "begin" with the text, "stop".
    std::vector<std::pair<std::string, std::string>> events() const {
        std::vector<std::pair<std::string, std::string>> out;
        std::ifstream in(log_);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string ms, event, text;
            std::getline(fields, ms, '\t');
            std::getline(fields, event, '\t');
            std::getline(fields, text);
            out.emplace_back(event, text);
        }
        return out;
    }
    std::vector<std::string> said() const {
        std::vector<std::string> texts;
        for (const auto& [event, text] : events())
            if (event == "say") texts.push_back(text);
        return texts;
    }

private:
    std::string socket_, log_;
    pid_t pid_ = -1;
    int out_ = -1;
    int answers_ = -1;
    bool started_ = false;
};

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
    // A key on the focused control, as the binding delivers it: Space and
    // Enter go the road of a click, other keys are the control's own.
    void key(const char* focused, ui::Key key) {
        if (ui::pressesFocused(key)) frm.dispatchControl((*this)[focused]);
    }
    // The controls Tab visits from `from`, `count` presses.
    std::vector<std::string> tabs(const char* from, int count, bool forward = true) {
        const ui::TabOrder order(frm.controls(), ui::tabOrder());
        const auto can = [this](const ui::Control& c) { return ui::canTakeFocus(frm.controls(), c); };
        std::vector<std::string> visited;
        const ui::Control* at = &(*this)[from];
        for (int i = 0; i < count && at; ++i) {
            at = order.next(at, forward, can);
            if (at) visited.push_back(at->name());
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

}  // namespace fakes
