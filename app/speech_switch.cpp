// SPDX-License-Identifier: GPL-3.0-or-later
// The one road by which every text is spoken, and the switch that mutes it.
#include "app/frm_splash.h"
#include "words/words.h"

namespace app {

void frmSplash::Speak(const std::string& text) {
    const std::string copy = text;
    if (state_.speechOff == words::kSpeechOff) return;
    // Without an engine the call has nowhere to go: silence, no message.
    if (!state_.voice) return;
    try {
        state_.voice->speak(copy);
    } catch (...) {
        // A failing engine never stops the trainer.
    }
}

void frmSplash::Picture1_Click() {
    Picture1.setVisible(false);
    Picture2.setVisible(true);
    state_.speechOff = words::kSpeechOff;
}

void frmSplash::Picture2_Click() {
    Picture1.setVisible(true);
    Picture2.setVisible(false);
    state_.speechOff = words::kSpeechOn;
}

}  // namespace app
