// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_tts.h"

#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

int envMs(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

// One line per call, appended and closed at once, so a reader (or a crash)
// never sees half a line and lines from several processes never mix.
void logEvent(const char* event, const QString& text) {
    const char* path = std::getenv("ABACORN_TTS_LOG");
    if (!path || !*path) return;
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const double ms = double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
    QString flat = text;
    flat.replace(QLatin1Char('\t'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1Char('\r'), QLatin1Char(' '));
    const QByteArray line = QByteArray::number(ms, 'f', 3) + '\t' + event + '\t' + flat.toUtf8() + '\n';
    if (FILE* f = std::fopen(path, "a")) {
        std::fwrite(line.constData(), 1, size_t(line.size()), f);
        std::fflush(f);
        std::fclose(f);
    }
}

}  // namespace

RecordingTtsEngine::RecordingTtsEngine(QObject* parent) : QTextToSpeechEngine(parent) {
    voice_ = createVoice(QStringLiteral("recorder"), locale_, QVoice::Female, QVoice::Child, QStringLiteral("recorder"));
    speaking_.setSingleShot(true);
    speaking_.setInterval(envMs("ABACORN_TTS_SPEAK_MS", 300));
    connect(&speaking_, &QTimer::timeout, this, [this] { setState(QTextToSpeech::Ready); });
    if (qEnvironmentVariableIntValue("ABACORN_TTS_FAIL") == 1) {
        state_ = QTextToSpeech::Error;
        errorReason_ = QTextToSpeech::ErrorReason::Initialization;
        errorString_ = QStringLiteral("recording engine told to fail");
    }
}

QList<QLocale> RecordingTtsEngine::availableLocales() const { return {locale_}; }
QList<QVoice> RecordingTtsEngine::availableVoices() const { return {voice_}; }

void RecordingTtsEngine::say(const QString& text) {
    logEvent("say", text);
    if (errorReason_ == QTextToSpeech::ErrorReason::Initialization) return;
    // Like the real engines, a new text replaces the one being spoken.
    speaking_.start();
    setState(QTextToSpeech::Speaking);
}

void RecordingTtsEngine::stop(QTextToSpeech::BoundaryHint) {
    logEvent("stop", QString());
    speaking_.stop();
    if (state_ != QTextToSpeech::Error) setState(QTextToSpeech::Ready);
}

void RecordingTtsEngine::pause(QTextToSpeech::BoundaryHint) {
    if (state_ != QTextToSpeech::Speaking) return;
    speaking_.stop();
    setState(QTextToSpeech::Paused);
}

void RecordingTtsEngine::resume() {
    if (state_ != QTextToSpeech::Paused) return;
    speaking_.start();
    setState(QTextToSpeech::Speaking);
}

bool RecordingTtsEngine::setRate(double rate) { rate_ = rate; return true; }
bool RecordingTtsEngine::setPitch(double pitch) { pitch_ = pitch; return true; }
bool RecordingTtsEngine::setLocale(const QLocale& locale) { locale_ = locale; return true; }
bool RecordingTtsEngine::setVolume(double volume) { volume_ = volume; return true; }
bool RecordingTtsEngine::setVoice(const QVoice& voice) { voice_ = voice; return true; }

void RecordingTtsEngine::setState(QTextToSpeech::State state) {
    if (state_ == state) return;
    state_ = state;
    emit stateChanged(state_);
}

QTextToSpeechEngine* RecordingTtsPlugin::createTextToSpeechEngine(const QVariantMap&, QObject* parent,
                                                                  QString*) const {
    if (const int ms = envMs("ABACORN_TTS_CREATE_MS", 0); ms > 0) QThread::msleep(ulong(ms));
    return new RecordingTtsEngine(parent);
}
