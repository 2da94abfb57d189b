// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's window on Qt Widgets: renders the control model and forwards
// the child's clicks and picks.
//
// Labels, shapes, lines and images are "lightweight": they are not widgets
// but are painted by their container (the window or a frame), which also
// decides which of them a click lands on. Frames, picture boxes, buttons,
// combo boxes and the list box are real widgets and always lie in front of
// the lightweight controls of their container.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <functional>
#include <string>
#include <memory>
#include <string_view>
#include <vector>

#include "ui/binding.h"
#include "ui/control.h"
#include "qt/control_views.h"
#include "qt/frame_host.h"

namespace qt {

class AccessibilityBridge;
class KeyboardFocus;

// The view makes the widgets (widgets.h), follows the model's changes and
// tells what the mouse clicked. The rest is done by collaborators that know
// nothing of the view: the painting and the fitting of captions
// (painting.h), the keyboard focus with its ring (keyboard.h), the screen
// readers' bridge (accessibility.h) and the covering of the screen
// (showing.h). They read the controls as shown
// (control_views.h); a press goes back through a callback.
class FormView : public QWidget, public ui::Binding, private FrameHost {
public:
    // userEvent: the child clicked a control that has a handler or picked
    // an entry in a list (the pick is already recorded in the model).
    // formClick: the child clicked the bare window, outside every control.
    FormView(ui::Controls& controls, std::function<void(ui::Control&)> userEvent, std::function<void()> formClick,
             QWidget* parent = nullptr);
    ~FormView() override;  // detaches the observers from the model

    // The widget that shows a control: the window itself for the form, a
    // real widget for frames, buttons, lists and picture boxes, nullptr for
    // lightweight controls and the timer.
    QWidget* widgetFor(std::string_view name) const { return views_.ownFor(name); }

    // The front-most visible, enabled label or image of a container under a
    // point given in that container's pixels; nullptr when there is none.
    ui::Control* lightweightAt(std::string_view container, QPoint pos) const {
        return views_.lightweightAt(container, pos);
    }

    // A control's rectangle in its container's pixels, as it is drawn.
    QRect pixelRect(const ui::Control& c) const { return qt::pixelRect(c); }

    // The control of that name; nullptr when there is none.
    ui::Control* control(std::string_view name) const { return views_.control(name); }

    // The picture loaded for a control (null when it has none or the file
    // could not be loaded).
    QPixmap picture(std::string_view name) const;

    // The font a control is drawn with: for a fixed-size label whose
    // caption is too wide for it, the smaller font that fits.
    QFont fontFor(const ui::Control& c) const;

    // Covers the primary screen in the full-screen state the desktop knows
    // (EWMH on X11, xdg-shell on Wayland), and without a window manager by
    // the screen's geometry. Where the window manager refuses full screen,
    // the window becomes frameless with the screen's geometry and one line on
    // stderr says so.
    void showCoveringScreen();

    // The keyboard focus, Tab, Space and Enter, and the focus ring.
    KeyboardFocus& keyboard() const { return *keyboard_; }

    // Called when Qt closes the window for the application (it is quit, the
    // desktop session ends): the program ends as by "Close Program". A close
    // asked by the window manager (Alt+F4, its close button) is refused.
    std::function<void()> onClose;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    // The frames' widgets ask the window to paint them and to hit-test
    // their clicks.
    void paintContainer(const std::string& container, QPainter& painter, QWidget* on) const override;
    bool containerMouse(const std::string& container, QEvent* event, const QWidget& on) override;

    void createWidgets();
    void stackWidgets();
    void changed(std::size_t row, ui::Change change) override;
    void focusOnClick(ui::Control& c) override;
    void applyGeometry(ControlView& v);
    void applySelection(ControlView& v);
    void applyBackColor(ControlView& v);

    ControlViews views_;
    std::unique_ptr<KeyboardFocus> keyboard_;
    std::unique_ptr<AccessibilityBridge> accessibility_;
};

}  // namespace qt
