// SPDX-License-Identifier: GPL-3.0-or-later
// Fakes around the real voices, for the tests of the engines themselves: a
// sound device for the embedded voice and the recording speech daemon for
// Speech Dispatcher. Linked through abacorn_testbed_voices.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "testbed/fakes.h"
#include "voices/embedded_voice.h"

namespace testbed {

// A sound device for the embedded voice: keeps what is played, in order,
// with a flush as an empty entry. paced: a write takes as long as its
// samples last, as on a device whose buffer is full. failAfter: the device
// breaks (the sound server goes away) once that many samples were played
// since it was opened; hangAfter: the write that would pass that many never
// returns until release() (a sound server that stopped); each open gives a
// fresh device. refuse: that many opens fail before the next succeeds.
class SoundDevice {
public:
    struct Entry {
        std::chrono::steady_clock::time_point at;
        std::vector<std::int16_t> samples;  // empty: a flush
    };
    bool paced = false;
    std::atomic<std::size_t> failAfter{SIZE_MAX};
    std::atomic<std::size_t> hangAfter{SIZE_MAX};
    std::atomic<bool> absent{false};  // no device at all: opening fails
    std::atomic<int> refuse{0};

    SoundDevice() = default;
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;
    // A hung write is let go, and the voice's threads are waited for, so
    // that none touches the device once it is gone.
    ~SoundDevice() {
        release();
        eventually([&] { return outputsOpen() == 0; });
    }

    voices::AudioOpener opener() {
        return [this](int rate) -> std::unique_ptr<voices::AudioOut> {
            std::lock_guard lock(mutex_);
            if (absent) return nullptr;
            if (refuse > 0) {
                --refuse;
                return nullptr;
            }
            ++opens_;
            return std::make_unique<Out>(*this, rate);
        };
    }
    // Lets a hung write return (as a failure) and no later write hang.
    void release() {
        hangAfter = SIZE_MAX;
        std::lock_guard lock(mutex_);
        released_ = true;
        wake_.notify_all();
    }
    // Outputs opened and not yet closed: 0 once no thread of the voice's
    // can touch the device any more.
    int outputsOpen() const {
        std::lock_guard lock(mutex_);
        return live_;
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
        Out(SoundDevice& device, int rate) : device_(device), rate_(rate) { ++device_.live_; }
        ~Out() override {
            std::lock_guard lock(device_.mutex_);
            --device_.live_;
        }
        bool write(const std::int16_t* samples, std::size_t count) override {
            if (played_ + count > device_.hangAfter) {
                std::unique_lock lock(device_.mutex_);
                device_.wake_.wait(lock, [&] { return device_.released_; });
                return false;
            }
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
    std::condition_variable wake_;
    bool released_ = false;
    std::vector<Entry> played_;
    int opens_ = 0;
    int live_ = 0;  // under mutex_
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// What this process writes to stderr while it lives, kept in a file of its
// own and readable at any moment (the engines say there why they broke).
class StderrLog {
public:
    StderrLog() {
        char path[] = "/tmp/abacorn-stderr-XXXXXX";
        fd_ = mkstemp(path);
        path_ = path;
        saved_ = dup(2);
        dup2(fd_, 2);
    }
    StderrLog(const StderrLog&) = delete;
    StderrLog& operator=(const StderrLog&) = delete;
    ~StderrLog() {
        dup2(saved_, 2);
        close(saved_);
        close(fd_);
        unlink(path_.c_str());
    }
    std::string text() const {
        std::ifstream in(path_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string path_;
    int fd_ = -1, saved_ = -1;
};

// The tests' recording speech daemon (testbed/e2e/ssip_recorder.py) as a
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

}  // namespace testbed
