// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/screen_reader_switch.h"

namespace win32 {
namespace {

bool readSwitch() {
    BOOL on = FALSE;
    return SystemParametersInfoW(SPI_GETSCREENREADER, 0, &on, 0) && on;
}

}  // namespace

ScreenReaderSwitch::ScreenReaderSwitch() : on_(std::make_shared<std::atomic<bool>>(readSwitch())) {}

void ScreenReaderSwitch::settingChanged(WPARAM setting) {
    if (setting == SPI_SETSCREENREADER) *on_ = readSwitch();
}

std::function<bool()> ScreenReaderSwitch::reader() const {
    return [on = on_] { return on->load(); };
}

}  // namespace win32
