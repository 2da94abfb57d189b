// SPDX-License-Identifier: GPL-3.0-or-later
#include "voices/browser_voice.h"

#include <emscripten.h>

// clang-format off
EM_JS(int, js_has_speech, (), { return Module.page.hasSpeech() ? 1 : 0; });
EM_JS(void, js_speak, (const char* text), { Module.page.speak(UTF8ToString(text)); });
EM_JS(void, js_hush, (), { Module.page.hush(); });
// clang-format on

namespace voices {

BrowserVoice::~BrowserVoice() { js_hush(); }

void BrowserVoice::speak(const std::string& text) { js_speak(text.c_str()); }

std::shared_ptr<speech::SpeechEngine> createBrowserVoice() {
    if (!js_has_speech()) return nullptr;
    return std::make_shared<BrowserVoice>();
}

}  // namespace voices
