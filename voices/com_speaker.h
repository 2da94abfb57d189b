// SPDX-License-Identifier: GPL-3.0-or-later
// A Windows engine that speaks through a COM object on a thread of its own.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "speech/speech_engine.h"

namespace voices {

// What an engine opens on its thread: how to say one text there, and how to
// let go of what it opened. An empty `say` means it could not be opened.
struct ComTalker {
    std::function<void(const std::string&)> say;
    std::function<void()> close;
};

// Starts a thread in COM's multithreaded apartment, so that nothing of it
// needs the window's message loop, and opens the engine there; waits
// `openWait` at most for that, and gives nullptr when it fails or takes
// longer. Each text is then handed to that thread: speak() returns at once,
// and texts keep their order (the newest few wait behind a say that hangs).
// Closing ends the thread, which closes the engine, waiting
// speech::kCloseWait at most for a say that hangs.
std::shared_ptr<speech::SpeechEngine> startComSpeaker(std::function<ComTalker()> open,
                                                      std::chrono::milliseconds openWait);

// UTF-8 to UTF-16.
std::wstring wide(const std::string& utf8);

}  // namespace voices
