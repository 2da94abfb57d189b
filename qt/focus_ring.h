// SPDX-License-Identifier: GPL-3.0-or-later
// The ring round the control that has the keyboard focus, drawn while
// ui::RingShown says it shows: from the first key to the next mouse press.
#pragma once

#include <QPointer>
#include <QRect>
#include <functional>

#include "ui/keyboard.h"

class QWidget;

namespace qt {

// Where the ring goes: the widget it is drawn in and the rectangle it goes
// round, in that widget's pixels. No widget: nowhere, the ring hides.
struct RingPlace {
    QWidget* in = nullptr;
    QRect around;
};

class FocusRing {
public:
    // `where` tells where the focused control is, asked each time the ring
    // is placed while it shows.
    FocusRing(QWidget& window, std::function<RingPlace()> where);

    // A key went to the window (ui::RingShown says whether it shows).
    void keyPressed(const ui::KeyPress& key);
    // A mouse button went down: the ring hides, and so do the focus marks
    // Qt's styles draw after Tab.
    void mousePressed();
    // The focus or the focused control's place changed.
    void place();

private:
    class Frame;

    QWidget& window_;
    std::function<RingPlace()> where_;
    ui::RingShown shown_;
    QPointer<Frame> frame_;
};

}  // namespace qt
