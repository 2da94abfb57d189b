// SPDX-License-Identifier: GPL-3.0-or-later
// How the window's controls look on Qt: the painting of a container with
// its lightweight controls as ui/look.h describes them, and the measuring
// of captions for their fitting.
#pragma once

#include <QColor>
#include <string>

#include "ui/control.h"

class QPainter;
class QWidget;

namespace qt {

struct ControlView;
class ControlViews;

// A design colour on a widget (the palette's text colour for windowText).
QColor toQColor(ui::Color c, const QWidget* w);

// Paints a container (the window or a frame) on its widget `on`: its
// background, a frame's border and caption, then its labels, shapes, lines
// and images, back to front.
void paintContainer(const ControlViews& views, const std::string& container, QPainter& painter, QWidget* on);

// Fits a label to its caption (ui::fitLabel): an auto-size label takes the
// caption's size, a fixed-size one a smaller font when it is too wide.
void fitLabel(ControlView& v);

}  // namespace qt
