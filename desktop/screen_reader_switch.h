// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's screen-reader switch: the ScreenReaderEnabled property of
// org.a11y.Status, which the accessibility bus launcher (at-spi2-core)
// serves on the session bus. GNOME keeps it in step with its own setting
// and starts Orca from it. Its sibling IsEnabled tells nothing of a screen
// reader running: it is stored with the user's settings and stays on after
// the screen reader ends.
#pragma once

#include <functional>
#include <memory>

namespace desktop {

class ScreenReaderSwitch final {
public:
    // Starts reading the switch at once, on a thread of its own, and
    // follows its changes from then on (on the window's thread). Make it on
    // the window's thread, after the application object, and end it there
    // before the application object.
    ScreenReaderSwitch();
    ~ScreenReaderSwitch();
    ScreenReaderSwitch(const ScreenReaderSwitch&) = delete;
    ScreenReaderSwitch& operator=(const ScreenReaderSwitch&) = delete;

    // Whether the switch is on, as last read: off until the first reading
    // answers, and off without a session bus or an accessibility bus. The
    // function may be called from any thread, also after this object is gone.
    std::function<bool()> reader() const;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    struct Reading;
    std::unique_ptr<Reading> reading_;
};

}  // namespace desktop
