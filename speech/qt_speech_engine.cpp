// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's voice on Qt TextToSpeech, kept off the window's thread.
//
// What Qt 6.4 on Debian 12 does here, found by trying it:
// - The default engine is the plugin whose metadata has the highest
//   "Priority": speechd (80) over flite (50). availableEngines() only reads
//   plugin metadata; it costs well under a millisecond.
// - Constructing the speechd engine takes 1.4-1.9 s (it opens a connection
//   to speech-dispatcher, spawning the daemon if needed, and lists every
//   voice of every module). Worse: when the daemon has no audio output it
//   stops answering after the first text, and from then on the constructor,
//   say(), stop() and the destructor of any speechd engine in any process
//   block for good inside libspeechd. So every call into the engine is made
//   on the speech thread, and nothing on the caller's side ever waits for it
//   longer than kCloseWait.
// - flite constructs in ~20 ms. With an audio device it is Ready with
//   errorReason() == Initialization and no errorString(), and speaks, but
//   after a quarter of a second of its waveform's quiet lead-in, and under
//   load it drops texts ("Audio streaming error"). It is never used: when
//   the default engine cannot start, the trainer's own voice speaks
//   (speech/embedded_voice.h).
// - When the daemon dies, the next say() turns the speechd engine's state to
//   Error ("Text synthesizing failure") at once, and so does every say()
//   after it: the engine is then reported broken and the trainer's own voice
//   takes over.
// - speechd's say() cancels the current text only when its own state is not
//   Ready, and that state follows the daemon's notifications, which arrive
//   later on libspeechd's thread. A second text handed over right after the
//   first would then be queued behind it instead of replacing it, so every
//   text is preceded by an explicit stop().
#include "speech/qt_speech_engine.h"

#include <QDeadlineTimer>
#include <QLatin1String>
#include <QMetaObject>
#include <QObject>
#include <QTextToSpeech>
#include <QThread>
#include <QtDebug>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "speech/embedded_voice.h"
#include "speech/engine_chain.h"
#include "speech/loaded_libraries.h"
#include "speech/worker.h"

namespace speech {
namespace {

// How long the default engine may take to start before the trainer's own
// voice takes over: speechd needs 1.4-1.9 s on a quiet machine and 4-5 s on
// a busy two-core one (its plugin lists all 13,000 voice entries first); a
// daemon that hangs would need forever. The welcome waits that long at most.
constexpr std::chrono::milliseconds kStartWait{8000};

// What the caller's thread and the speech thread share. Both sides hold it,
// so a speech thread left behind never reaches freed memory through it.
struct Mailbox {
    std::mutex mutex;
    // Texts not yet handed to the engine, oldest first. Each one reaches the
    // engine in turn, and each cuts its predecessor short there, as the
    // trainer expects of every text. Before the engine is ready only the
    // newest is kept: the ones before it would be cut off anyway.
    std::deque<std::string> texts;
    bool ready = false;
    bool started = false;  // ready with an engine
    std::condition_variable opened;
    bool broken = false;                // say() left the engine in Error (speech thread only)
    std::function<void()> whenBroken;  // told once when it breaks
    bool wakePosted = false;  // a deliver() is already on its way
    std::atomic<bool> closing{false};
};

// Bounds the backlog should the engine stall: the oldest texts go first.
constexpr std::size_t kMaxWaiting = 16;

// Lives on the speech thread; every call into Qt TextToSpeech happens here.
class Voice : public QObject {
public:
    explicit Voice(std::shared_ptr<Mailbox> mailbox) : mailbox_(std::move(mailbox)) {}

    // The first event on the speech thread: builds the engine. Texts handed
    // over meanwhile wait in the mailbox; their deliver() events queue
    // behind this one.
    void open() {
        tts_ = tryEngine(QString());
        if (tts_ && tts_->engine() == QLatin1String("flite")) {
            // Only when no other plugin outranks it: the trainer's own
            // voice does better.
            delete tts_;
            tts_ = nullptr;
        }
        {
            std::lock_guard lock(mailbox_->mutex);
            mailbox_->ready = true;
            mailbox_->started = tts_ != nullptr;
        }
        mailbox_->opened.notify_all();
        if (mailbox_->closing) {
            // Closing started while the engine was being built; it may have
            // given up waiting already and the program be on its way out.
            // Touch as little as possible: nothing was spoken, so the engine
            // is let go unstopped (detached, so deleting this object from
            // the closing side never runs the engine's destructor there).
            if (tts_) tts_->setParent(nullptr);
            tts_ = nullptr;
            QThread::currentThread()->quit();
        }
    }

    void deliver() {
        std::deque<std::string> texts;
        {
            std::lock_guard lock(mailbox_->mutex);
            texts.swap(mailbox_->texts);
            mailbox_->wakePosted = false;
        }
        for (const auto& text : texts) {
            if (!tts_ || mailbox_->closing || mailbox_->broken) return;
            tts_->stop(QTextToSpeech::BoundaryHint::Immediate);
            tts_->say(QString::fromStdString(text));
            if (tts_->state() == QTextToSpeech::Error) {
                qWarning("abacorn: text-to-speech engine \"%s\" broke: %s", qPrintable(tts_->engine()),
                         qPrintable(tts_->errorString()));
                std::function<void()> tell;
                {
                    std::lock_guard lock(mailbox_->mutex);
                    mailbox_->broken = true;
                    tell = std::move(mailbox_->whenBroken);
                }
                // Kept until closing: a broken engine is left alone.
                if (tell) tell();
                return;
            }
        }
    }

    void close() {
        delete tts_;  // stops whatever is being spoken
        tts_ = nullptr;
        QThread::currentThread()->quit();
    }

private:
    QTextToSpeech* tryEngine(const QString& name) {
        auto* tts = new QTextToSpeech(name, this);
        // flite reports errorReason() == Initialization with an empty
        // errorString() even when it starts fine and speaks (Qt 6.4, with an
        // audio server reachable): only a reason that comes with a message
        // counts.
        const bool failed = tts->state() == QTextToSpeech::Error ||
                            (tts->errorReason() == QTextToSpeech::ErrorReason::Initialization &&
                             !tts->errorString().isEmpty());
        if (!failed) return tts;
        qWarning("abacorn: text-to-speech engine \"%s\" did not start: %s", qPrintable(tts->engine()),
                 qPrintable(tts->errorString()));
        delete tts;
        return nullptr;
    }

    std::shared_ptr<Mailbox> mailbox_;
    QTextToSpeech* tts_ = nullptr;  // child of this
};

class QtSpeechEngine final : public SpeechEngine {
public:
    QtSpeechEngine() : mailbox_(std::make_shared<Mailbox>()), thread_(new QThread), voice_(new Voice(mailbox_)) {
        thread_->setObjectName(QStringLiteral("abacorn speech"));
        voice_->moveToThread(thread_);
        // Posted before the thread starts, so it is the first thing it runs.
        QMetaObject::invokeMethod(voice_, [v = voice_] { v->open(); }, Qt::QueuedConnection);
        thread_->start();
    }

    ~QtSpeechEngine() override {
        mailbox_->closing = true;
        QMetaObject::invokeMethod(voice_, [v = voice_] { v->close(); }, Qt::QueuedConnection);
        if (thread_->wait(QDeadlineTimer(closeWait_.count()))) {
            delete voice_;
            delete thread_;
            return;
        }
        // The speech thread is stuck inside the engine (a slow constructor,
        // or a speech-dispatcher that stopped answering). Waiting could take
        // forever and killing a thread is never safe, so it is left behind
        // together with its objects: destroying a running QThread would
        // abort the program. It ends with the process, or quits by itself
        // once the engine returns (see Voice::open).
        if (closeWait_.count() > 0) qWarning("abacorn: the speech engine did not close in time; leaving it behind");
    }

    // Waits until the engine is made or `wait` has passed; true when it
    // started. On false the engine is of no use: destroying it then does not
    // wait for a speech thread that may still be inside the engine.
    bool waitStarted(std::chrono::milliseconds wait) {
        std::unique_lock lock(mailbox_->mutex);
        mailbox_->opened.wait_for(lock, wait, [&] { return mailbox_->ready; });
        if (!mailbox_->ready) closeWait_ = std::chrono::milliseconds(0);
        return mailbox_->started;
    }

    bool ready() {
        std::lock_guard lock(mailbox_->mutex);
        return mailbox_->ready;
    }

    void whenBroken(std::function<void()> broke) override {
        std::lock_guard lock(mailbox_->mutex);
        mailbox_->whenBroken = std::move(broke);
    }

    void speak(const std::string& text) override {
        bool post;
        {
            std::lock_guard lock(mailbox_->mutex);
            auto& texts = mailbox_->texts;
            if (!mailbox_->ready || texts.size() >= kMaxWaiting) {
                if (!mailbox_->ready) texts.clear();
                else texts.pop_front();
            }
            texts.push_back(text);
            post = !std::exchange(mailbox_->wakePosted, true);
        }
        if (post) QMetaObject::invokeMethod(voice_, [v = voice_] { v->deliver(); }, Qt::QueuedConnection);
    }

private:
    std::shared_ptr<Mailbox> mailbox_;
    QThread* thread_;
    Voice* voice_;
    std::chrono::milliseconds closeWait_ = kCloseWait;
};

// Qt's default engine, or nullptr when it fails, is flite or is too slow.
std::shared_ptr<SpeechEngine> openQtDefaultEngine() {
    const auto engines = QTextToSpeech::availableEngines();
    if (engines.isEmpty() || engines == QStringList{QStringLiteral("flite")}) return nullptr;
    auto engine = std::make_shared<QtSpeechEngine>();
    if (engine->waitStarted(kStartWait)) {
        // The window's libraries and the engine's are all loaded by now.
        dropRelocationTables();
        return engine;
    }
    if (!engine->ready())
        qWarning("abacorn: the default text-to-speech engine did not start within %d s; leaving it behind",
                 static_cast<int>(kStartWait.count() / 1000));
    return nullptr;
}

}  // namespace

std::shared_ptr<SpeechEngine> createQtSpeechEngine() {
    return firstThatStarts({openQtDefaultEngine, [] { return createEmbeddedVoice(); }});
}

}  // namespace speech
