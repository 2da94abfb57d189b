// SPDX-License-Identifier: GPL-3.0-or-later
// A text-to-speech engine for tests: speaks nothing, writes down what it was
// asked to do. Loaded through QT_PLUGIN_PATH=<build>/test-plugins.
//
// Qt 6.4 makes the engine with the highest "Priority" in its plugin metadata
// the default (speechd has 80, flite 50); this one claims 1000, so a
// QTextToSpeech built without an engine name picks it.
//
// Environment:
//   ABACORN_TTS_LOG          file to append one line per call to:
//                            "<CLOCK_MONOTONIC ms, 3 decimals>\t<say|stop>\t<text>"
//                            (tabs and line breaks in the text become spaces;
//                            stop lines have an empty text). Unset: no log.
//   ABACORN_TTS_FAIL=1       the engine reports Error / Initialization when
//                            made, as speechd does without a daemon.
//   ABACORN_TTS_CREATE_MS    milliseconds the engine takes to be made
//                            (default 0), like speechd's slow start.
//   ABACORN_TTS_SPEAK_MS     how long each text "is spoken" (default 300):
//                            Speaking for that long, then Ready.
#pragma once

#include <QTextToSpeechEngine>
#include <QTextToSpeechPlugin>
#include <QTimer>

class RecordingTtsEngine : public QTextToSpeechEngine {
    Q_OBJECT
public:
    explicit RecordingTtsEngine(QObject* parent = nullptr);

    QList<QLocale> availableLocales() const override;
    QList<QVoice> availableVoices() const override;
    void say(const QString& text) override;
    void stop(QTextToSpeech::BoundaryHint hint) override;
    void pause(QTextToSpeech::BoundaryHint hint) override;
    void resume() override;
    double rate() const override { return rate_; }
    bool setRate(double rate) override;
    double pitch() const override { return pitch_; }
    bool setPitch(double pitch) override;
    QLocale locale() const override { return locale_; }
    bool setLocale(const QLocale& locale) override;
    double volume() const override { return volume_; }
    bool setVolume(double volume) override;
    QVoice voice() const override { return voice_; }
    bool setVoice(const QVoice& voice) override;
    QTextToSpeech::State state() const override { return state_; }
    QTextToSpeech::ErrorReason errorReason() const override { return errorReason_; }
    QString errorString() const override { return errorString_; }

private:
    void setState(QTextToSpeech::State state);

    QTextToSpeech::State state_ = QTextToSpeech::Ready;
    QTextToSpeech::ErrorReason errorReason_ = QTextToSpeech::ErrorReason::NoError;
    QString errorString_;
    QTimer speaking_;
    double rate_ = 0.0, pitch_ = 0.0, volume_ = 1.0;
    QLocale locale_{QLocale::English, QLocale::UnitedStates};
    QVoice voice_;
};

class RecordingTtsPlugin : public QObject, public QTextToSpeechPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.qt.speech.tts.plugin/6.0" FILE "recording_tts.json")
    Q_INTERFACES(QTextToSpeechPlugin)
public:
    QTextToSpeechEngine* createTextToSpeechEngine(const QVariantMap& parameters, QObject* parent,
                                                  QString* errorString) const override;
};
