// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's voice: Speech Dispatcher, spoken to through libspeechd.
#pragma once

#include <chrono>
#include <memory>

#include "speech/speech_engine.h"

namespace voices {

// How long a text handed over may take to begin sounding before the engine
// counts as broken: far above what a busy machine was seen to take
// (docs/qt-notes.md), and short enough for the trainer's own voice to say
// the text well within two seconds of the click.
inline constexpr std::chrono::milliseconds kBeginWait{500};
// How long opening the connection may take, starting the daemon if none
// runs (libspeechd's autospawn, docs/qt-notes.md).
inline constexpr std::chrono::milliseconds kOpenWait{3000};

// Creates the engine and returns at once; the connection is opened on the
// engine's own thread, at the address libspeechd finds itself
// (SPEECHD_ADDRESS, or the user's runtime directory), starting the daemon
// when none runs. The daemon's default voice and the user's own settings
// are left as they are. Each text cancels whatever the trainer still has
// spoken or waiting there.
//
// The engine reports itself broken (SpeechEngine::whenBroken) when the
// connection cannot be opened, does not open within kOpenWait, goes away,
// or when a text has not begun within kBeginWait (a daemon that hangs).
// It never speaks again after that, and closing does not wait for a call
// into libspeechd that hangs.
std::shared_ptr<speech::SpeechEngine> createSpeechdEngine();

}  // namespace voices
