// SPDX-License-Identifier: GPL-3.0-or-later
// What the window keeps of each control it shows: its font and picture, its
// widget or the area it was last painted in, and for each container the
// lightweight controls it paints, front to back. The view fills it in; the
// painting, the keyboard and the accessibility bridge read it.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ui/control.h"
#include "ui/look.h"

class QWidget;

namespace qt {

struct ControlView {
    ui::Control* control = nullptr;
    QWidget* widget = nullptr;  // real widgets only
    QFont font;
    QPixmap pixmap;
    QRect painted;  // lightweight controls: the area last drawn
    // Fixed-size labels: how a too-wide caption is drawn, and its font.
    ui::CaptionFit fit;
    QFont fitted;
};

// A rectangle of ui/look.h as Qt's.
QRect toQRect(const ui::Rect& r);
// A control's rectangle in its container's pixels, as it is drawn.
QRect pixelRect(const ui::Control& c);
// The area a lightweight control may paint: its rectangle plus room for a
// thick line's round caps and antialiased edges.
QRect paintArea(const ui::Control& c);

class ControlViews {
public:
    // One entry per control of the model, in table order, with its font
    // and picture loaded; `window` shows the form itself.
    ControlViews(ui::Controls& controls, QWidget& window);
    ControlViews(const ControlViews&) = delete;  // the layers point into the entries
    ControlViews& operator=(const ControlViews&) = delete;

    ui::Controls& controls() const { return controls_; }
    QWidget& window() const { return window_; }
    // The window's own control name.
    const std::string& formName() const { return formName_; }

    std::vector<ControlView>& all() { return views_; }
    ControlView* find(std::string_view name);
    const ControlView* find(std::string_view name) const;
    // The control of that name; nullptr when there is none.
    ui::Control* control(std::string_view name) const;

    // The widget that shows a control: the window for the form, a real
    // widget for frames, buttons, lists and picture boxes, nullptr for
    // lightweight controls and the timer.
    QWidget* widgetFor(std::string_view name) const;
    // The widget that paints a container's lightweight controls: the window
    // for the form (or no container), else the frame's widget.
    QWidget* containerWidget(std::string_view container) const;

    // The labels, shapes, lines and images a container paints, front to back.
    const std::vector<ControlView*>& layer(std::string_view container) const;
    // The front-most visible, enabled label or image of a container under a
    // point given in that container's pixels; nullptr when there is none.
    ui::Control* lightweightAt(std::string_view container, QPoint pos) const;

private:
    ui::Controls& controls_;
    QWidget& window_;
    std::string formName_;
    std::vector<ControlView> views_;  // table order
    std::unordered_map<std::string, std::size_t> index_;
    std::unordered_map<std::string, std::vector<ControlView*>> layers_;
};

}  // namespace qt
