// SPDX-License-Identifier: GPL-3.0-or-later
// Platform services the window's logic needs, as small interfaces: each
// binding implements them in a library beside it (qt/ports.h,
// win32/ports.h), fakes live with the tests.
#pragma once

namespace app {

// One pass over the window's pending events: paints, clicks, timer ticks.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processEvents() = 0;
};

// The screen, measured in twips.
class Screen {
public:
    virtual ~Screen() = default;
    virtual int widthTwips() const = 0;
    virtual int heightTwips() const = 0;
};

// The window as a whole: showing it (without waiting for it to close) and
// closing it, which ends the program.
class Window {
public:
    virtual ~Window() = default;
    virtual void show() = 0;
    virtual void close() = 0;
};

}  // namespace app
