// SPDX-License-Identifier: GPL-3.0-or-later
// What screen readers hear, on Qt: the window's names, descriptions and
// roles (ui/accessibility.h) on its widgets, and accessible interfaces for
// the lightweight labels and images, which are painted by their container
// and so are not widgets of their own.
#pragma once

#include <QObject>
#include <functional>

#include "ui/control.h"

namespace qt {

class ControlViews;
class KeyboardFocus;

// While it lives, names the window's real widgets and makes Qt ask it for
// the window, its frames and picture boxes. `press` is an assistive tool's
// press on a control, as a click by the child.
class AccessibilityBridge final : public QObject {
public:
    AccessibilityBridge(const ControlViews& views, const KeyboardFocus& keys, std::function<void(ui::Control&)> press);
    ~AccessibilityBridge() override;
    AccessibilityBridge(const AccessibilityBridge&) = delete;
    AccessibilityBridge& operator=(const AccessibilityBridge&) = delete;

    const ControlViews& views() const { return views_; }
    const KeyboardFocus& keys() const { return keys_; }
    // Tells listening tools of a change of the model.
    void changed(const ui::Control& c, ui::Change change);
    // Presses a control once the reply to the tool has gone: the handler
    // may pause for many event passes, and AT-SPI gives up on a call after
    // about a second.
    void pressSoon(ui::Control& c);

private:
    const ControlViews& views_;
    const KeyboardFocus& keys_;
    std::function<void(ui::Control&)> press_;
};

}  // namespace qt
