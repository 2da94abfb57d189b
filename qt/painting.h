// SPDX-License-Identifier: GPL-3.0-or-later
// What the window's painting and its widgets share.
#pragma once

#include <QColor>

#include "ui/control.h"

class QWidget;

namespace ui::qt {

// A design colour on a widget (the palette's text colour for windowText).
QColor toQColor(Color c, const QWidget* w);

}  // namespace ui::qt
