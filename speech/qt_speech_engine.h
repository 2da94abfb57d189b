// The trainer's voice on Qt TextToSpeech.
#pragma once

#include <memory>

#include "speech/speech_engine.h"

namespace speech {

// Creates the voice on its own thread: Qt's default text-to-speech engine,
// flite when the default one cannot start, silence when neither can. The
// call returns at once; the engine is built in the background and a text
// handed over before it is ready is spoken as soon as it is (only the newest
// one is kept). Afterwards every text reaches the engine in turn, each one
// stopping the one before. Returns nullptr only when Qt finds no text-to-speech plugin
// at all. Needs a QCoreApplication (or QApplication) to exist.
std::shared_ptr<SpeechEngine> createQtSpeechEngine();

}  // namespace speech
