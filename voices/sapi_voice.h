// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows voice: the system's SAPI 5 voice object.
#pragma once

#include <chrono>
#include <memory>

#include "speech/speech_engine.h"

namespace voices {

// How long creating the voice object may take before the trainer goes
// silent instead. Under Wine the object (a DLL of the test prefix's) is
// made in a few milliseconds; on Windows it loads its default voice first.
inline constexpr std::chrono::milliseconds kCreateWait{5000};

// Creates the voice object on a thread of the engine's own, from the
// programmatic identifier "SAPI.SpVoice" (CLSIDFromProgID, then
// CoCreateInstance), and waits for it, kCreateWait at most; nullptr when it
// cannot be made (no SAPI, or no "Speak" method), which leaves the trainer
// silent. Each text is then handed to that thread, which calls "Speak" on
// the object late-bound (IDispatch) with the text and the flags 3
// (asynchronous, purge before speak) and ignores the stream number it
// gives: speak() itself returns at once, and texts keep their order. A
// Speak that fails loses that text alone. Closing ends the thread and
// releases the object, waiting speech::kCloseWait at most for a Speak that
// hangs.
std::shared_ptr<speech::SpeechEngine> createSapiVoice();

}  // namespace voices
