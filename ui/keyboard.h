// SPDX-License-Identifier: GPL-3.0-or-later
// The window from the keyboard, without a toolkit: what each key does, the
// key combinations, when the focus ring shows, and the way Tab takes
// through the controls.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/control.h"

namespace ui {

// A key as both bindings tell it: the few the window acts on, a letter or
// digit (for the key combinations), a modifier alone, and the rest.
enum class Key { Space, Enter, Tab, Letter, Modifier, Other };

// One key going down. Enter is also the keypad's, Tab with Shift also
// Backtab; `letter` is upper case ('Q', '7') for Key::Letter. `other`: a
// modifier the window has no use for is held (Meta, the Windows key).
struct KeyPress {
    Key key = Key::Other;
    char letter = 0;
    bool shift = false, ctrl = false, alt = false, other = false;
};

// What a key does in the window, for the binding to carry out.
enum class KeyAction {
    None,           // nothing of the window's: the control's own (a list's arrows)
    Press,          // what a click does; for the list box, a click on its current entry
    OpenList,       // the focused drop-down list opens
    FocusNext,      // Tab: the next stop of the tab order
    FocusPrevious,  // Shift+Tab
};

// What `key` does to the focused control, of kind `focused` (Kind::Form
// when none has the focus); listOpen: the focused drop-down list is open,
// and its own keys pick. A held Ctrl or Alt makes every key the control's
// (or a key combination: matchesShortcut). No key closes the window.
KeyAction keyAction(const KeyPress& key, Kind focused, bool listOpen = false);

// Whether the key is a control's key combination as the table writes it
// ("Ctrl+Q": Ctrl with one letter or digit, no Shift or Alt).
bool matchesShortcut(const std::string& shortcut, const KeyPress& key);

// Whether the ring round the focused control shows: from the first key
// (a modifier alone is none: Shift or Ctrl held for a click) to the next
// press of a pointer button. A child who clicks sees no ring, one who uses
// the keys or a switch always sees where they are.
class RingShown {
public:
    // Each returns whether the ring showed or hid by it.
    bool keyPressed(const KeyPress& key);
    bool pointerPressed();
    bool shown() const { return shown_; }

private:
    bool shown_ = false;
};

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
