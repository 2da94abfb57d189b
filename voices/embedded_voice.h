// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's own voice: flite synthesising inside the program, played
// straight to the desktop's sound server. No daemon, no toolkit.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "speech/speech_engine.h"

namespace voices {

// Where the voice's sound goes: 16-bit mono samples.
class AudioOut {
public:
    virtual ~AudioOut() = default;
    // Hands samples over; blocks while the output's buffer is full. False
    // when the output broke (the sound server went away).
    virtual bool write(const std::int16_t* samples, std::size_t count) = 0;
    // Drops whatever was handed over but not heard yet. False when broken.
    virtual bool flush() = 0;
};

// Opens an output at the given sample rate; nullptr when there is no sound
// device to play to.
using AudioOpener = std::function<std::unique_ptr<AudioOut>(int rate)>;

// The desktop's sound server through PulseAudio's simple API (PipeWire
// desktops serve it too). libpulse-simple is loaded when the opener is made.
AudioOpener pulseAudio();

// Cuts the quiet lead-in and the trailing silence off a waveform that
// arrives piece by piece, and shortens long pauses inside it. Samples whose
// magnitude stays at or below kThreshold count as quiet.
class QuietTrim {
public:
    // flite's voices hiss at up to about 80 in their lead-in; speech onsets
    // cross 128 within a few milliseconds of becoming audible.
    static constexpr int kThreshold = 128;

    // rate: samples per second, to size the longest pause kept.
    explicit QuietTrim(int rate) : maxPause_(static_cast<std::size_t>(rate) / 4) {}

    // Appends to `out` what is to be heard of the next piece. A quiet run is
    // held back until sound follows it, so whatever is quiet at the end is
    // never handed on.
    void add(const std::int16_t* samples, std::size_t count, std::vector<std::int16_t>& out);

private:
    std::size_t maxPause_;
    bool started_ = false;
    std::vector<std::int16_t> quiet_;  // the quiet run since the last sound
};

// Opening the output is tried this often, kOpenRetryGap apart, before it
// counts as failed: a sound server on a busy machine may refuse one
// connection and take the next.
inline constexpr int kOpenAttempts = 3;
inline constexpr std::chrono::milliseconds kOpenRetryGap{100};
// A call into the output (a write, a flush, an open) that has not returned
// after this long is stuck: the sound server stopped answering. A write
// waits only for room in the server's short buffer while the server runs.
inline constexpr std::chrono::milliseconds kStuckWrite{2000};

// Creates the voice; nullptr when there is no sound server to play to, and
// (with one line on stderr) when libflite or its voice cannot be loaded.
// Opens the output and loads flite on the calling thread;
// afterwards synthesis runs on a thread of the voice's own, under flite's
// process-wide lock, and the sound is written on another. Each text stops
// the one before at once; a long text starts sounding after its first
// piece is made. A sound server that goes away mid-text cuts that text.
// The voice is broken for good (SpeechEngine::whenBroken), and the text it
// was speaking is lost to it, when no sound server can be reached for the
// next text or when a call into the output is stuck for kStuckWrite.
std::shared_ptr<speech::SpeechEngine> createEmbeddedVoice(AudioOpener open = pulseAudio());

}  // namespace voices
