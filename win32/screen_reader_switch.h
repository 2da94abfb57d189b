// SPDX-License-Identifier: GPL-3.0-or-later
// The screen-reader switch of Windows (SPI_GETSCREENREADER), which screen
// readers turn on while they run.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

namespace win32 {

// Read once when made and again whenever the window hears that the setting
// changed (WM_SETTINGCHANGE with SPI_SETSCREENREADER). reader() may be asked
// on any thread, also after this object is gone: it holds the state itself.
class ScreenReaderSwitch {
public:
    ScreenReaderSwitch();

    bool on() const { return *on_; }
    // The window's WM_SETTINGCHANGE: reads the switch again when it is the
    // one that changed.
    void settingChanged(WPARAM setting);
    std::function<bool()> reader() const;

private:
    std::shared_ptr<std::atomic<bool>> on_;
};

}  // namespace win32
