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
// - flite constructs in ~20 ms. Without an audio device it stays Ready with
//   errorReason() == Playback, and each say() turns the state to Error;
//   nothing crashes, it is just silent. With one, it is Ready with
//   errorReason() == Initialization and no errorString(), and speaks.
// - speechd's say() cancels the current text only when its own state is not
//   Ready, and that state follows the daemon's notifications, which arrive
//   later on libspeechd's thread. A second text handed over right after the
//   first would then be queued behind it instead of replacing it, so every
//   text is preceded by an explicit stop().
#include "speech/qt_speech_engine.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QObject>
#include <QTextToSpeech>
#include <QThread>
#include <QtDebug>

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace speech {
namespace {

// How long closing waits for the speech thread before leaving it behind.
constexpr int kCloseWaitMs = 500;

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
        if (!tts_ && failedEngine_ != QLatin1String("flite") &&
            QTextToSpeech::availableEngines().contains(QLatin1String("flite")))
            tts_ = tryEngine(QStringLiteral("flite"));
        if (!tts_) qWarning("abacorn: no text-to-speech engine could start; the trainer stays silent");
        {
            std::lock_guard lock(mailbox_->mutex);
            mailbox_->ready = true;
        }
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
            if (!tts_ || mailbox_->closing) return;
            tts_->stop(QTextToSpeech::BoundaryHint::Immediate);
            tts_->say(QString::fromStdString(text));
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
        failedEngine_ = tts->engine();
        qWarning("abacorn: text-to-speech engine \"%s\" did not start: %s", qPrintable(tts->engine()),
                 qPrintable(tts->errorString()));
        delete tts;
        return nullptr;
    }

    std::shared_ptr<Mailbox> mailbox_;
    QTextToSpeech* tts_ = nullptr;  // child of this
    QString failedEngine_;
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
        if (thread_->wait(QDeadlineTimer(kCloseWaitMs))) {
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
        qWarning("abacorn: the speech engine did not close in time; leaving it behind");
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
};

}  // namespace

std::shared_ptr<SpeechEngine> createQtSpeechEngine() {
    if (QTextToSpeech::availableEngines().isEmpty()) return nullptr;
    return std::make_shared<QtSpeechEngine>();
}

}  // namespace speech
