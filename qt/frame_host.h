// SPDX-License-Identifier: GPL-3.0-or-later
// What a frame's widget asks of the window it lies in: the window paints the
// frame's lightweight controls and decides which of them a click lands on,
// as it does for its own.
#pragma once

#include <string>

class QEvent;
class QPainter;
class QWidget;

namespace qt {

class FrameHost {
public:
    virtual void paintContainer(const std::string& container, QPainter& painter, QWidget* on) const = 0;
    // A press, release or double click of the mouse on a container's widget
    // `on` (a frame or a picture box); returns whether it was one.
    virtual bool containerMouse(const std::string& container, QEvent* event, const QWidget& on) = 0;

protected:
    ~FrameHost() = default;
};

}  // namespace qt
