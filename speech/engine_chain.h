// SPDX-License-Identifier: GPL-3.0-or-later
// The order in which the trainer looks for a voice.
#pragma once

#include <vector>

#include "speech/speech_engine.h"

namespace speech {

// An engine that starts the given engines one after the other on a thread of
// its own and speaks through the first that starts (a factory may take its
// time, and gives nullptr when its engine cannot start). The call returns at
// once. Texts handed over before an engine is found wait; only the newest is
// kept, since each one would cut the one before short anyway. When the
// engine speaking breaks later (SpeechEngine::whenBroken), the ones after it
// are started the same way and the text it was handed last goes to the one
// that starts. When none starts, the trainer is silent. Closing waits at
// most kCloseWait for a factory still at work, then leaves it behind.
std::shared_ptr<SpeechEngine> firstThatStarts(std::vector<EngineFactory> order);

}  // namespace speech
