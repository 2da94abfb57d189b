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
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
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
        // Playback starts on a short prebuffer; a long target rides out a
        // busy machine, and a new text flushes it, so it never delays a cut.
        // The large minreq keeps PipeWire's quantum small while the voice
        // plays (docs/performance.md, "PipeWire beside PulseAudio").
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

using Clock = std::chrono::steady_clock;

// Pieces of at most 20 ms are handed to the output, so a new text is noticed
// at the latest 20 ms after it arrives even while the output's buffer is full.
constexpr int kPieceMs = 20;
// The output is closed after this long without a text, so that the sound
// server can let the device sleep; kept open between the clicks of a round,
// since opening delays the first sound.
constexpr std::chrono::seconds kIdleClose{10};
// How often the synthesising thread looks at a writer at work.
constexpr auto kStuckCheck = kStuckWrite / 8;

// Opens the output, trying again after a failure: a sound server on a busy
// machine may refuse one connection and take the next.
std::unique_ptr<AudioOut> openOutput(const AudioOpener& open, int rate) {
    for (int attempt = 1;; ++attempt) {
        std::unique_ptr<AudioOut> out = open ? open(rate) : nullptr;
        if (out || attempt == kOpenAttempts) return out;
        std::this_thread::sleep_for(kOpenRetryGap);
    }
}

// Sound made of one text, trimmed, on its way to the output.
struct Piece {
    std::uint64_t generation;  // the text's
    int rate;
    std::vector<std::int16_t> samples;
};

// Shared by the caller's side, the synthesising thread and the writing
// thread; either thread may be left behind and owns it with the others.
struct Inbox {
    std::mutex mutex;
    std::condition_variable wake;   // the synthesiser: a text, closing
    std::condition_variable sound;  // the writer: a piece, a flush, closing
    std::optional<std::string> text;  // the newest text not yet taken up
    std::atomic<std::uint64_t> generation{0};  // counts texts; a change cuts the one sounding
    bool closing = false;
    bool broken = false;            // for good: no sound server for a text, or a write stuck
    std::function<void()> broke;    // who is told of it
    std::deque<Piece> pieces;       // for the writer, oldest first
    bool flush = false;             // the output is to drop what it holds of the text before
    std::optional<Clock::time_point> busySince;  // the writer inside a call to the output

    bool cut(std::uint64_t of) const { return generation != of; }

    // Marks the voice broken and tells, once; false when it was already.
    bool breakForGood() {
        std::function<void()> told;
        {
            std::lock_guard lock(mutex);
            if (broken) return false;
            broken = true;
            told = std::exchange(broke, nullptr);
        }
        wake.notify_all();
        sound.notify_all();
        if (told) told();
        return true;
    }
};

// The writing thread: hands the pieces to the output in order, outside any
// lock of flite's, so that a sound server that stops answering holds up
// this thread alone. It opens the output for the first piece after one was
// closed, and closes it after kIdleClose without sound.
class Writer {
public:
    Writer(std::shared_ptr<Inbox> inbox, AudioOpener open, std::unique_ptr<AudioOut> out, int rate)
        : inbox_(std::move(inbox)), open_(std::move(open)), out_(std::move(out)), rate_(rate) {}

    void run() {
        for (;;) {
            std::optional<Piece> piece;
            {
                std::unique_lock lock(inbox_->mutex);
                const auto ready = [&] {
                    return inbox_->closing || inbox_->broken || inbox_->flush || !inbox_->pieces.empty();
                };
                if (out_) {
                    if (!inbox_->sound.wait_for(lock, kIdleClose, ready)) {
                        lock.unlock();
                        out_.reset();
                        continue;
                    }
                } else {
                    inbox_->sound.wait(lock, ready);
                }
                if (inbox_->closing || inbox_->broken) break;
                if (!std::exchange(inbox_->flush, false)) {
                    piece = std::move(inbox_->pieces.front());
                    inbox_->pieces.pop_front();
                }
                inbox_->busySince = Clock::now();
            }
            if (piece) {
                play(*piece);
            } else if (out_ && !out_->flush()) {
                // Whatever of the text before was still to be heard is gone.
                // A server that went away since is found here; the next
                // piece goes to a new connection.
                out_.reset();
            }
            std::lock_guard lock(inbox_->mutex);
            inbox_->busySince.reset();
        }
        out_.reset();
    }

private:
    void play(const Piece& piece) {
        if (piece.generation == failed_) return;
        const std::size_t step = static_cast<std::size_t>(piece.rate / 1000 * kPieceMs);
        const std::vector<std::int16_t>& s = piece.samples;
        for (std::size_t at = 0; at < s.size(); at += step) {
            // A newer text cuts this one, between two steps at the latest;
            // pieces of a text cut before they came are dropped here.
            if (inbox_->cut(piece.generation)) return;
            if (!out_ || piece.rate != rate_) {
                out_.reset();
                out_ = openOutput(open_, piece.rate);
                rate_ = piece.rate;
                if (!out_) {
                    // No sound server for a text: the voice is broken for
                    // good, and the text goes to the next voice.
                    inbox_->breakForGood();
                    return;
                }
            }
            if (!out_->write(s.data() + at, std::min(step, s.size() - at))) {
                // The sound server went away: the rest of this text is cut,
                // and the next text reconnects.
                out_.reset();
                failed_ = piece.generation;
                return;
            }
        }
    }

    std::shared_ptr<Inbox> inbox_;
    AudioOpener open_;
    std::unique_ptr<AudioOut> out_;
    int rate_ = 0;
    std::optional<std::uint64_t> failed_;  // the text whose sound the server lost
};

// The synthesising thread: takes up the newest text and makes it sentence by
// sentence under flite's lock, handing each piece to the writer as it
// comes. It also keeps watch over the writer: a call into the output that
// has not returned within kStuckWrite breaks the voice for good, and the
// text is handed on, as for a daemon that dies.
class Speaker {
public:
    Speaker(std::shared_ptr<Inbox> inbox, Flite& flite) : inbox_(std::move(inbox)), flite_(flite) {}

    void run() {
        for (;;) {
            std::string text;
            {
                std::unique_lock lock(inbox_->mutex);
                for (;;) {
                    if (inbox_->closing || inbox_->broken) return;
                    if (inbox_->text) break;
                    if (inbox_->busySince && Clock::now() - *inbox_->busySince >= kStuckWrite) {
                        lock.unlock();
                        if (inbox_->breakForGood())
                            std::fputs("abacorn: the sound server stopped taking the voice's sound\n", stderr);
                        return;
                    }
                    if (inbox_->busySince || !inbox_->pieces.empty())
                        inbox_->wake.wait_for(lock, kStuckCheck);
                    else
                        inbox_->wake.wait(lock);
                }
                text = std::move(*inbox_->text);
                inbox_->text.reset();
                generation_ = inbox_->generation;
                // Whatever of the text before is still to be heard goes now;
                // the writer drops its pieces still to come.
                inbox_->flush = true;
            }
            inbox_->sound.notify_all();
            speak(text);
        }
    }

private:
    bool cut() const { return inbox_->cut(generation_); }

    void speak(const std::string& text) {
        trim_.reset();
        std::lock_guard lock(flite_.synthesis);
        for (const auto& sentence : sentences(text)) {
            if (cut()) break;
            auto* info = flite_.newStreamingInfo();
            info->min_buffsize = 256;  // a short piece: a cut is noticed soon
            info->asc = &Speaker::onPiece;
            info->userdata = this;
            // The voice takes the info over and frees the one set before.
            flite_.featSet(flite_.voice->features, "streaming_info", flite_.streamingInfoVal(info));
            flite_.textToSpeech(sentence.c_str(), flite_.voice, "none");
        }
    }

    static int onPiece(const cst_wave* wave, int start, int size, int, cst_audio_streaming_info* info) {
        auto* self = static_cast<Speaker*>(info->userdata);
        return self->hand(wave, start, size) ? CST_AUDIO_STREAM_CONT : CST_AUDIO_STREAM_STOP;
    }

    // Hands a piece to the writer; false when the text is to end here.
    bool hand(const cst_wave* wave, int start, int size) {
        if (!trim_) trim_.emplace(wave->sample_rate);
        Piece piece{generation_, wave->sample_rate, {}};
        trim_->add(wave->samples + start, static_cast<std::size_t>(size), piece.samples);
        if (piece.samples.empty()) return true;
        {
            std::lock_guard lock(inbox_->mutex);
            if (inbox_->broken || inbox_->closing || cut()) return false;
            inbox_->pieces.push_back(std::move(piece));
        }
        inbox_->sound.notify_all();
        return true;
    }

    std::shared_ptr<Inbox> inbox_;
    Flite& flite_;
    std::uint64_t generation_ = 0;
    std::optional<QuietTrim> trim_;  // the current text's
};

class EmbeddedVoice final : public speech::SpeechEngine {
public:
    EmbeddedVoice(Flite& flite, AudioOpener open, std::unique_ptr<AudioOut> out, int rate)
        : inbox_(std::make_shared<Inbox>()),
          writer_([writer = std::make_shared<Writer>(inbox_, std::move(open), std::move(out), rate)] {
              writer->run();
          }),
          speaker_([speaker = std::make_shared<Speaker>(inbox_, flite)] { speaker->run(); }) {}

    ~EmbeddedVoice() override {
        bool broken;
        {
            std::lock_guard lock(inbox_->mutex);
            inbox_->closing = true;
            broken = inbox_->broken;
            inbox_->broke = nullptr;
            ++inbox_->generation;
        }
        inbox_->wake.notify_all();
        inbox_->sound.notify_all();
        // A thread stuck in a sound server that stopped answering is left
        // behind; it owns what it uses. Both share one wait, and a writer
        // found stuck is not waited for at all.
        const auto deadline = Clock::now() + speech::kCloseWait;
        const auto left = [&] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(std::max(deadline - Clock::now(),
                                                                                  Clock::duration::zero()));
        };
        bool closed = speaker_.finishWithin(left());
        closed = writer_.finishWithin(broken ? std::chrono::milliseconds(0) : left()) && closed;
        if (!closed && !broken)
            std::fputs("abacorn: the embedded voice did not close in time; leaving it behind\n", stderr);
    }

    void speak(const std::string& text) override {
        {
            std::lock_guard lock(inbox_->mutex);
            inbox_->text = text;
            ++inbox_->generation;
        }
        inbox_->wake.notify_all();
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
    speech::Worker writer_;
    speech::Worker speaker_;
};

}  // namespace

std::shared_ptr<speech::SpeechEngine> createEmbeddedVoice(AudioOpener open) {
    // Without a sound server to play to, the voice does not start, and
    // flite is not loaded for nothing. The output stays open for the first
    // text.
    std::unique_ptr<AudioOut> out = openOutput(open, kVoiceRate);
    if (!out) return nullptr;
    Flite* flite = loadFlite();
    if (!flite) return nullptr;
    return std::make_shared<EmbeddedVoice>(*flite, std::move(open), std::move(out), kVoiceRate);
}

}  // namespace voices
