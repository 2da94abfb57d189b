// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's voice on Qt TextToSpeech.
#pragma once

#include <memory>

#include "speech/speech_engine.h"

namespace speech {

// Creates the trainer's voice: Qt's default text-to-speech engine (the
// desktop's, speechd), the trainer's own embedded voice when the default one
// cannot start within a few seconds (or is only Qt's flite), silence when
// neither can. The call returns at once; the engines are started in the
// background and a text handed over before one is ready is spoken as soon as
// it is (only the newest one is kept). Afterwards every text reaches the
// engine in turn, each one stopping the one before. Needs a QCoreApplication
// (or QApplication) to exist.
std::shared_ptr<SpeechEngine> createQtSpeechEngine();

}  // namespace speech
