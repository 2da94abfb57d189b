// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's voice on Windows: the system's SAPI 5 voice, or the screen
// reader's UI Automation notifications while the screen-reader switch is on.
#include "voices/trainer_voice.h"

#include <utility>

#include "speech/screen_reader_order.h"
#include "voices/sapi_voice.h"
#include "voices/uia_notification.h"

namespace voices {

std::shared_ptr<speech::SpeechEngine> createTrainerVoice(std::function<bool()> screenReaderOn, HWND window) {
    return speech::ownVoiceUnlessScreenReader(
        createSapiVoice, [window] { return createUiaNotification(window); }, std::move(screenReaderOn));
}

}  // namespace voices
