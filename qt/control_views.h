// SPDX-License-Identifier: GPL-3.0-or-later
// What the window keeps of each control it shows (ui/views.h), with Qt's
// objects: its font and picture, and its widget. The view fills it in; the
// painting, the keyboard and the accessibility bridge read it.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <string_view>

#include "ui/control.h"
#include "ui/look.h"
#include "ui/views.h"

class QWidget;

namespace qt {

struct ControlView : ui::View {
    QWidget* widget = nullptr;  // real widgets only
    QFont font;
    QPixmap pixmap;
    QFont fitted;  // a fixed-size label's font for a too-wide caption
};

// A rectangle of ui/look.h as Qt's.
QRect toQRect(const ui::Rect& r);
// A control's rectangle in its container's pixels, as it is drawn.
QRect pixelRect(const ui::Control& c);

// The widget that shows a control (ownFor) is the window for the form, a
// real widget for frames, buttons, lists and picture boxes, nullptr for
// lightweight controls and the timer.
class ControlViews : public ui::ViewTable<ControlView, &ControlView::widget> {
public:
    // One entry per control of the model, in table order, with its font
    // and picture loaded; `window` shows the form itself.
    ControlViews(ui::Controls& controls, QWidget& window);

    QWidget& window() const { return *form(); }
    ui::Control* lightweightAt(std::string_view container, QPoint pos) const {
        return ViewTable::lightweightAt(container, pos.x(), pos.y());
    }
};

}  // namespace qt
