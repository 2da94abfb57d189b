// SPDX-License-Identifier: GPL-3.0-or-later
// The window from the keyboard in Qt: Qt's key, mouse and focus events for
// the window's focus rules (ui/focus.h), and their calls carried out on the
// widgets, the ring a QFocusFrame round the focused control.
//
// Labels and images are painted by their container, so they cannot hold
// Qt's focus themselves: their container widget holds it for them.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "ui/control.h"
#include "ui/focus.h"

class QKeyEvent;
class QWidget;

namespace qt {

class ControlViews;

// A Qt key as the window's rules know it (ui::KeyPress).
ui::KeyPress keyPress(const QKeyEvent* e);

class KeyboardFocus : public QObject, private ui::FocusHost {
public:
    // `press` is the child's press on a control, as a click.
    KeyboardFocus(const ControlViews& views, std::function<void(ui::Control&)> press);
    ~KeyboardFocus() override;

    ui::FocusRules& rules() { return rules_; }
    ui::Control* focused() const { return rules_.focused(); }
    // The label or image that has the focus inside a container widget.
    ui::Control* lightweightFocusIn(const QWidget* container) const;
    bool isStop(const ui::Control& c) const { return rules_.isStop(c); }
    void focus(ui::Control& c) { rules_.focus(c); }
    // Tab (next) and Shift+Tab; also Qt's call when the focused widget is
    // hidden or disabled. Returns whether the focus moved.
    bool tab(bool next);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Ring;

    ui::Control* toolkitFocus() const override;
    bool hasWidget(const ui::Control& c) const override;
    void giveFocus(ui::Control& c, ui::FocusCause cause) override;
    void focusMovedInside(ui::Control& container) override;
    void queueRepair() override;
    ui::PixelBox ringBox(const ui::Control& c) const override;
    void ringMoved(const ui::RingPlace& from, const ui::RingPlace& to) override;
    bool listOpen(const ui::Control& list) const override;
    void showList(ui::Control& list, bool open) override;
    void press(ui::Control& c) override { press_(c); }
    void pickCurrentEntry(ui::Control& list) override;

    const ControlViews& views_;
    std::function<void(ui::Control&)> press_;
    ui::FocusRules rules_;
    QPointer<Ring> ring_;
};

}  // namespace qt
