// SPDX-License-Identifier: GPL-3.0-or-later
// The ring round the control that has the keyboard focus. It shows from the
// first key to the next mouse press, as a browser's focus-visible does: a
// child who clicks sees no ring, one who uses the keys or a switch always
// sees where they are.
#pragma once

#include <QPointer>
#include <QRect>
#include <functional>


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

    // A key went to the window: any key but a modifier alone shows the ring.
    void keyPressed(int key);
    // A mouse button went down: the ring hides, and so do the focus marks
    // Qt's styles draw after Tab.
    void mousePressed();
    // The focus or the focused control's place changed.
    void place();

private:
    class Frame;

    QWidget& window_;
    std::function<RingPlace()> where_;
    bool shown_ = false;  // from a key to the next click
    QPointer<Frame> frame_;
};

}  // namespace qt
