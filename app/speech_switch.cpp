// The one road by which every text is spoken, and the switch that mutes it.
#include "app/frm_splash.h"

namespace app {

void frmSplash::Speak(const std::string& text) {
    const std::string copy = text;
    if (s_.speechOff == "x") return;
    // Without an engine the call has nowhere to go: silence, no message.
    if (!s_.voice) return;
    try {
        s_.voice->speak(copy);
    } catch (...) {
        // A failing engine never stops the trainer.
    }
}

void frmSplash::Picture1_Click() {
    Picture1.setVisible(false);
    Picture2.setVisible(true);
    s_.speechOff = "x";
}

void frmSplash::Picture2_Click() {
    Picture1.setVisible(true);
    Picture2.setVisible(false);
    s_.speechOff = " ";
}

}  // namespace app
