// SPDX-License-Identifier: GPL-3.0-or-later
// What a frame's widget asks of the window it lies in: the window paints the
// frame's lightweight controls and decides which of them a click lands on,
// as it does for its own.
#pragma once

#include <QPoint>
#include <string>

class QPainter;
class QWidget;

namespace qt {

class FrameHost {
public:
    virtual void paintContainer(const std::string& container, QPainter& painter, QWidget* on) const = 0;
    virtual void containerPressed(const std::string& container, QPoint pos) = 0;
    virtual void containerReleased(const std::string& container, QPoint pos) = 0;
    virtual void containerDoubleClicked(const std::string& container) = 0;

protected:
    ~FrameHost() = default;
};

}  // namespace qt
