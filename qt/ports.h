// SPDX-License-Identifier: GPL-3.0-or-later
// The platform services of app/ports.h on Qt: a library of their own
// (abacorn_qt_ports) above the binding, so that the binding itself needs
// nothing of app/. Construct them after the QApplication.
#pragma once

#include "app/ports.h"

namespace qt {

class FormView;

// One pass over the pending events; a pass is cheap enough that the
// trainer's pauses are counted in passes (docs/qt-notes.md).
class QtEventPump : public app::EventPump {
public:
    void processEvents() override;
};

// The primary screen in twips: device-independent pixels times 15. Without
// a screen it reports the design size of the window.
class QtScreen : public app::Screen {
public:
    int widthTwips() const override;
    int heightTwips() const override;
};

// The window. show() returns at once; close() hides the window and ends the
// event loop with status 0. QCoreApplication::exit() does nothing while no
// event loop runs (checked: an exit() before exec() is forgotten), so a
// close that happens before exec() must be caught by the caller:
//     return window.closed() ? 0 : app.exec();
class QtWindow : public app::Window {
public:
    void attach(FormView* view) { view_ = view; }
    void show() override;
    void close() override;
    bool closed() const { return closed_; }

private:
    FormView* view_ = nullptr;
    bool closed_ = false;
};

}  // namespace qt
