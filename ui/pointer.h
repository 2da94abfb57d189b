// SPDX-License-Identifier: GPL-3.0-or-later
// The mouse's left button, per container, in the model's terms: which press
// and release make a click on a control or on the bare window, and which
// release in a list box is a pick. A binding reports the button and what
// lies under the pointer (ui::lightweightAt); it decides nothing itself.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "ui/control.h"

namespace ui {

// What a release makes of the press before it.
struct PointerClick {
    Control* control = nullptr;  // a click on this control
    bool bareWindow = false;     // a click on the window outside every control
    explicit operator bool() const { return control || bareWindow; }
};

class PointerTracker {
public:
    // form: the window's own control name, the one container whose bare
    // area takes clicks.
    explicit PointerTracker(std::string form) : form_(std::move(form)) {}

    // The button went down in a container over `under` (nullptr: over no
    // label or image).
    void press(std::string_view container, const Control* under);
    // The second press of a double click: the child means one click, so
    // this press clicks nothing.
    void doubleClick(std::string_view container);
    // The button came up over `under`; inside: the pointer is still within
    // the container. A click needs the release on the control pressed, still
    // shown and enabled, or for the bare window, a press and a release on it.
    PointerClick release(std::string_view container, Control* under, bool inside);

private:
    struct Press {
        const Control* on = nullptr;
        bool bare = false;
    };
    std::string form_;
    std::unordered_map<std::string, Press> pressed_;
};

// A list box under the mouse. A click picks the entry it ends on, also the
// one already selected; a press that moved the selection and ends elsewhere
// picks where it moved to. Each press of a double click is a press.
class ListPress {
public:
    // The button went down; `selected`: the list's selection before the list
    // moves it (-1: none).
    void press(int selected) {
        held_ = true;
        before_ = selected;
    }
    // Whether the button is down on the list: the list's own selection
    // notices are then no picks, the release is.
    bool held() const { return held_; }
    // The button came up; `selected`: the list's selection now, `under`: the
    // entry under the pointer (-1: none). The entry picked, or -1.
    int release(int selected, int under);

private:
    bool held_ = false;
    int before_ = -1;
};

}  // namespace ui
