// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's own voice: flite's cmu_us_slt in the program's process,
// made sentence by sentence with its quiet ends cut, and played through
// PulseAudio's simple API on a thread of the voice's own. libflite and
// libpulse-simple are opened with dlopen. What flite 2.2 and the sound
// servers do, measured: docs/qt-notes.md.
#include "voices/embedded_voice.h"

#include <dlfcn.h>
#include <pulse/simple.h>

extern "C" {
#include <flite/flite.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "voices/loaded_libraries.h"
#include "speech/worker.h"

namespace voices {

// --- the trim ----------------------------------------------------------------

void QuietTrim::add(const std::int16_t* samples, std::size_t count, std::vector<std::int16_t>& out) {
    for (std::size_t i = 0; i < count; ++i) {
        const int s = samples[i];
        if (s > kThreshold || s < -kThreshold) {
            if (!quiet_.empty()) {
                // A pause between words: kept, but at most maxPause_ long,
                // made of its start (the last word's decay) and its end.
                const std::size_t n = quiet_.size();
                if (n <= maxPause_) {
                    out.insert(out.end(), quiet_.begin(), quiet_.end());
                } else {
                    const std::size_t half = maxPause_ / 2;
                    out.insert(out.end(), quiet_.begin(), quiet_.begin() + static_cast<long>(half));
                    out.insert(out.end(), quiet_.end() - static_cast<long>(maxPause_ - half), quiet_.end());
                }
                quiet_.clear();
            }
            started_ = true;
            out.push_back(static_cast<std::int16_t>(s));
        } else if (started_) {
            quiet_.push_back(static_cast<std::int16_t>(s));
        }
    }
}

namespace {

// --- PulseAudio --------------------------------------------------------------

// The few calls of libpulse-simple the voice makes, looked up at run time.
struct PulseSimple {
    decltype(&pa_simple_new) open = nullptr;
    decltype(&pa_simple_write) write = nullptr;
    decltype(&pa_simple_flush) flush = nullptr;
    decltype(&pa_simple_free) free = nullptr;
};

template <typename F>
bool lookUp(void* lib, const char* name, F& fn) {
    fn = reinterpret_cast<F>(dlsym(lib, name));
    return fn != nullptr;
}

// Loaded once; nullptr (after one line on stderr) when it is missing.
const PulseSimple* pulseSimple() {
    static const PulseSimple* const loaded = []() -> const PulseSimple* {
        void* lib = dlopen("libpulse-simple.so.0", RTLD_NOW | RTLD_LOCAL);
        static PulseSimple pa;
        if (lib && lookUp(lib, "pa_simple_new", pa.open) && lookUp(lib, "pa_simple_write", pa.write) &&
            lookUp(lib, "pa_simple_flush", pa.flush) && lookUp(lib, "pa_simple_free", pa.free)) {
            dropLoaderTables();
            return &pa;
        }
        std::fprintf(stderr, "abacorn: no sound output (%s); the trainer stays silent\n",
                     lib ? "libpulse-simple.so.0 is incomplete" : dlerror());
        return nullptr;
    }();
    return loaded;
}

class PulseOut final : public AudioOut {
public:
    PulseOut(const PulseSimple& pa, pa_simple* stream) : pa_(pa), stream_(stream) {}
    ~PulseOut() override { pa_.free(stream_); }
    bool write(const std::int16_t* samples, std::size_t count) override {
        int error = 0;
        return pa_.write(stream_, samples, count * sizeof(std::int16_t), &error) >= 0;
    }
    bool flush() override {
        int error = 0;
        return pa_.flush(stream_, &error) >= 0;
    }

private:
    const PulseSimple& pa_;
    pa_simple* stream_;
};

std::uint32_t bytesFor(int rate, int ms) {
    return static_cast<std::uint32_t>(rate / 1000 * ms) * sizeof(std::int16_t);
}

}  // namespace

AudioOpener pulseAudio() {
    // Loaded now, before the voice's first words: loading while flite works
    // would hold the libraries' tables and flite's working memory at once.
    const PulseSimple* pa = pulseSimple();
    return [pa](int rate) -> std::unique_ptr<AudioOut> {
        if (!pa) return nullptr;
        const pa_sample_spec format{PA_SAMPLE_S16NE, static_cast<std::uint32_t>(rate), 1};
        // Playback starts as soon as 20 ms are buffered (the server's default
        // waits for the whole target length); 100 ms in the server ride out
        // a busy machine. A new text flushes the buffer, so its length does
        // not delay the cut.
        // pa_simple asks for PA_STREAM_ADJUST_LATENCY: of the 100 ms, the sink
        // gets (tlength - 2 * minreq) / 2 and the stream's buffer the rest.
        // With the server's minreq of 20 ms that left the sink 30 ms, and
        // PipeWire (through pipewire-pulse) ran its whole graph at a quantum
        // of 1024 frames (21 ms at 48 kHz) for it: the first sound came
        // 30 ms after PulseAudio's. A minreq of 40 ms leaves the sink 10 ms,
        // so PipeWire runs a quantum of 256 (5.3 ms, the least it gives a
        // PulseAudio client) while the voice plays, 20 ms sooner; PulseAudio
        // was as quick either way. The server asks for more once 40 ms are
        // free, so 50 ms or more stay buffered.
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = bytesFor(rate, 100);
        attr.prebuf = bytesFor(rate, 20);
        attr.minreq = bytesFor(rate, 40);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        int error = 0;
        // The default server, or PULSE_SERVER's. libpulse may autospawn a
        // server for an ordinary user when none runs, as any PulseAudio
        // client does; it never does so for an explicit PULSE_SERVER.
        pa_simple* stream =
            pa->open(nullptr, "Abacorn", PA_STREAM_PLAYBACK, nullptr, "voice", &format, nullptr, &attr, &error);
        if (!stream) return nullptr;
        return std::make_unique<PulseOut>(*pa, stream);
    };
}

namespace {

// --- flite -------------------------------------------------------------------

constexpr const char* kVoiceLibrary = "libflite_cmu_us_slt.so.1";
constexpr const char* kVoiceRegister = "register_cmu_us_slt";
constexpr int kVoiceRate = 16000;  // the voice's samples per second

// The calls into libflite, looked up at run time, and the one voice.
struct Flite {
    float (*textToSpeech)(const char*, cst_voice*, const char*) = nullptr;
    void (*featSet)(cst_features*, const char*, const cst_val*) = nullptr;
    cst_audio_streaming_info* (*newStreamingInfo)() = nullptr;
    cst_val* (*streamingInfoVal)(const cst_audio_streaming_info*) = nullptr;
    cst_voice* voice = nullptr;
    std::mutex synthesis;  // flite's state is global
};

Flite* loadFlite() {
    static Flite* const loaded = []() -> Flite* {
        // The voice library pulls in libflite and its English lexicon.
        void* lib = dlopen(kVoiceLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            std::fprintf(stderr, "abacorn: no embedded voice (%s); the trainer stays silent\n", dlerror());
            return nullptr;
        }
        static Flite flite;
        int (*init)() = nullptr;
        cst_voice* (*registerVoice)(const char*) = nullptr;
        if (!lookUp(lib, "flite_init", init) || !lookUp(lib, kVoiceRegister, registerVoice) ||
            !lookUp(lib, "flite_text_to_speech", flite.textToSpeech) ||
            !lookUp(lib, "flite_feat_set", flite.featSet) ||
            !lookUp(lib, "new_audio_streaming_info", flite.newStreamingInfo) ||
            !lookUp(lib, "audio_streaming_info_val", flite.streamingInfoVal)) {
            std::fprintf(stderr, "abacorn: no embedded voice (%s lacks a flite call); the trainer stays silent\n",
                         kVoiceLibrary);
            return nullptr;
        }
        init();
        flite.voice = registerVoice(nullptr);
        if (!flite.voice) {
            std::fprintf(stderr, "abacorn: no embedded voice (%s did not load); the trainer stays silent\n",
                         kVoiceLibrary);
            return nullptr;
        }
        dropLoaderTables();
        return &flite;
    }();
    return loaded;
}

// The sentences of a text, each ending at ". ", "! " or "? ".
std::vector<std::string> sentences(const std::string& text) {
    std::vector<std::string> out;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        current += text[i];
        const bool end = (text[i] == '.' || text[i] == '!' || text[i] == '?') &&
                         (i + 1 == text.size() || text[i + 1] == ' ');
        if (end || i + 1 == text.size()) {
            if (current.find_first_not_of(' ') != std::string::npos) out.push_back(current);
            current.clear();
        }
    }
    return out;
}

// --- the voice ---------------------------------------------------------------

// Pieces of at most 20 ms are handed to the output, so a new text is noticed
// at the latest 20 ms after it arrives even while the output's buffer is full.
constexpr int kPieceMs = 20;
// The output is closed after this long without a text, so that the sound
// server can let the device sleep. Kept open between the clicks of a round:
// opening costs 1-7 ms before the first sound.
constexpr std::chrono::seconds kIdleClose{10};

// Shared by the caller's side and the voice's thread.
struct Inbox {
    std::mutex mutex;
    std::condition_variable wake;
    std::optional<std::string> text;  // the newest text not yet taken up
    std::atomic<std::uint64_t> generation{0};  // counts texts; a change cuts the one sounding
    bool closing = false;
    bool broken = false;            // no sound server for a new text: for good
    std::function<void()> broke;    // who is told of it
};

// The voice's thread: takes up the newest text, makes it sentence by
// sentence and hands each piece to the output as it comes.
class Speaker {
public:
    // out: the output opened when the voice was made, at `rate`.
    Speaker(std::shared_ptr<Inbox> inbox, Flite& flite, AudioOpener open, std::unique_ptr<AudioOut> out, int rate)
        : inbox_(std::move(inbox)), flite_(flite), open_(std::move(open)), out_(std::move(out)), rate_(rate) {}

    void run() {
        for (;;) {
            std::string text;
            {
                std::unique_lock lock(inbox_->mutex);
                const auto ready = [&] { return inbox_->closing || inbox_->text.has_value(); };
                if (out_) {
                    if (!inbox_->wake.wait_for(lock, kIdleClose, ready)) {
                        lock.unlock();
                        out_.reset();
                        continue;
                    }
                } else {
                    inbox_->wake.wait(lock, ready);
                }
                if (inbox_->closing || inbox_->broken) break;
                text = std::move(*inbox_->text);
                inbox_->text.reset();
                generation_ = inbox_->generation;
            }
            // Whatever of the text before is still to be heard goes now. A
            // server that went away since is found here; the text then goes
            // to a new connection.
            if (out_ && !out_->flush()) out_.reset();
            speak(text);
        }
        out_.reset();
    }

private:
    bool cut() const { return inbox_->generation != generation_; }

    void breakForGood() {
        std::function<void()> broke;
        {
            std::lock_guard lock(inbox_->mutex);
            inbox_->broken = true;
            broke = inbox_->broke;
        }
        if (broke) broke();
    }

    void speak(const std::string& text) {
        trim_.reset();
        std::lock_guard lock(flite_.synthesis);
        for (const auto& sentence : sentences(text)) {
            if (cut() || broken_) break;
            auto* info = flite_.newStreamingInfo();
            info->min_buffsize = 256;  // 16 ms at 16 kHz
            info->asc = &Speaker::onPiece;
            info->userdata = this;
            // The voice takes the info over and frees the one set before.
            flite_.featSet(flite_.voice->features, "streaming_info", flite_.streamingInfoVal(info));
            flite_.textToSpeech(sentence.c_str(), flite_.voice, "none");
        }
        broken_ = false;
    }

    static int onPiece(const cst_wave* wave, int start, int size, int, cst_audio_streaming_info* info) {
        auto* self = static_cast<Speaker*>(info->userdata);
        return self->play(wave, start, size) ? CST_AUDIO_STREAM_CONT : CST_AUDIO_STREAM_STOP;
    }

    // Hands a piece on; false when the text is to end here.
    bool play(const cst_wave* wave, int start, int size) {
        if (cut() || broken_) return false;
        const int rate = wave->sample_rate;
        if (!out_ || rate != rate_) {
            out_.reset();
            out_ = open_(rate);
            rate_ = rate;
            if (!out_) {
                // No sound server for a new text: the voice is broken for
                // good, and the text goes to the next voice.
                broken_ = true;
                breakForGood();
                return false;
            }
        }
        if (!trim_) trim_.emplace(rate);
        pending_.clear();
        trim_->add(wave->samples + start, static_cast<std::size_t>(size), pending_);
        const std::size_t piece = static_cast<std::size_t>(rate / 1000 * kPieceMs);
        for (std::size_t at = 0; at < pending_.size(); at += piece) {
            if (cut()) return false;
            if (!out_->write(pending_.data() + at, std::min(piece, pending_.size() - at))) {
                out_.reset();  // the sound server went away; the next text reconnects
                broken_ = true;
                return false;
            }
        }
        return true;
    }

    std::shared_ptr<Inbox> inbox_;
    Flite& flite_;
    AudioOpener open_;
    std::unique_ptr<AudioOut> out_;
    int rate_ = 0;
    std::uint64_t generation_ = 0;
    std::optional<QuietTrim> trim_;  // the current text's
    bool broken_ = false;
    std::vector<std::int16_t> pending_;
};

class EmbeddedVoice final : public speech::SpeechEngine {
public:
    EmbeddedVoice(Flite& flite, AudioOpener open, std::unique_ptr<AudioOut> out, int rate)
        : inbox_(std::make_shared<Inbox>()),
          worker_([speaker = std::make_shared<Speaker>(inbox_, flite, std::move(open), std::move(out), rate)] {
              speaker->run();
          }) {}

    ~EmbeddedVoice() override {
        {
            std::lock_guard lock(inbox_->mutex);
            inbox_->closing = true;
            ++inbox_->generation;
        }
        inbox_->wake.notify_one();
        // A thread stuck in a sound server that stopped answering is left
        // behind; it owns what it uses.
        if (!worker_.finishWithin(speech::kCloseWait))
            std::fputs("abacorn: the embedded voice did not close in time; leaving it behind\n", stderr);
    }

    void speak(const std::string& text) override {
        {
            std::lock_guard lock(inbox_->mutex);
            inbox_->text = text;
            ++inbox_->generation;
        }
        inbox_->wake.notify_one();
    }

    void whenBroken(std::function<void()> broke) override {
        {
            std::lock_guard lock(inbox_->mutex);
            if (!inbox_->broken) {
                inbox_->broke = std::move(broke);
                return;
            }
        }
        broke();
    }

private:
    std::shared_ptr<Inbox> inbox_;
    speech::Worker worker_;
};

}  // namespace

std::shared_ptr<speech::SpeechEngine> createEmbeddedVoice(AudioOpener open) {
    // Without a sound server to play to, the voice does not start, and
    // flite is not loaded for nothing. The output stays open for the first
    // text.
    std::unique_ptr<AudioOut> out = open ? open(kVoiceRate) : nullptr;
    if (!out) return nullptr;
    Flite* flite = loadFlite();
    if (!flite) return nullptr;
    return std::make_shared<EmbeddedVoice>(*flite, std::move(open), std::move(out), kVoiceRate);
}

}  // namespace voices
