// SPDX-License-Identifier: GPL-3.0-or-later
// The window from the keyboard, without a toolkit: the way Tab takes
// through the controls, and which keys press the focused control.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/control.h"

namespace ui {

// Space and Enter (the keypad's too) press the focused control exactly as a
// left click does; every other key is the control's own business (the
// lists move their selection with the arrows).
enum class Key { Space, Enter, Other };
inline bool pressesFocused(Key key) { return key == Key::Space || key == Key::Enter; }

// Whether a control can take the keyboard focus now: shown, enabled, and
// inside shown containers.
bool canTakeFocus(const Controls& controls, const Control& c);

// The stops of the tab order (see tabOrder() in control_table.h) over one
// window's controls.
class TabOrder {
public:
    using CanFocus = std::function<bool(const Control&)>;

    TabOrder(Controls& controls, const std::vector<std::vector<std::string>>& order);

    // The first control that can take the focus in the stops after `from`
    // (before it when backwards), round the end; from nullptr or a control
    // outside the order: from the start (the end). nullptr when none can.
    Control* next(const Control* from, bool forward, const CanFocus& can) const;
    // The control of from's own stop that can take the focus (the other
    // loudspeaker when one gives way to the other); nullptr when none.
    Control* atSameStop(const Control& from, const CanFocus& can) const;
    bool contains(const Control& c) const { return stopOf(c) >= 0; }
    // Where the focus goes when the focused control `was` is hidden or
    // disabled: back to it if it can take it again by now, else to its
    // stop's other control (one loudspeaker shown for the other), else to
    // the next stop that can; nullptr when none can.
    Control* afterLoss(Control& was, const CanFocus& can) const;

private:
    int stopOf(const Control& c) const;
    Control* firstIn(std::size_t stop, const CanFocus& can) const;

    std::vector<std::vector<Control*>> stops_;
};

}  // namespace ui
