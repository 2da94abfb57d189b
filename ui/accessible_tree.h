// SPDX-License-Identifier: GPL-3.0-or-later
// The tree a screen reader walks, decided once for every binding: which
// controls stand in it and in what order, which of them are offered now,
// their states and value, which one a point finds, what a tool may press,
// and which change of the model tells listeners what. A binding only spells
// these in its platform's words.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/control.h"

namespace ui {

// Whether a control stands in the tree at all: everything with a part to
// play (accessibleRole() is not None).
bool inAccessibleTree(const Control& c);

// The tree's root: the window, the one control in no container.
const Control* accessibleRoot(const Controls& controls);

// The node a control hangs from: its container; nullptr for the window.
const Control* accessibleParent(const Controls& controls, const Control& c);

// A control's nodes in the tree, in the table's order (front to back):
// the controls it contains that stand in the tree, shown or not.
std::vector<Control*> accessibleChildren(const Controls& controls, const Control& host);

// A node's place among its container's nodes, from 0; -1 for the window
// and for a control outside the tree.
int accessibleIndex(const Controls& controls, const Control& c);

// The node of `host` at `index` (from 0); nullptr past either end.
Control* accessibleChild(const Controls& controls, const Control& host, int index);
// A node's first and last nodes; nullptr when it has none.
Control* accessibleFirstChild(const Controls& controls, const Control& host);
Control* accessibleLastChild(const Controls& controls, const Control& host);

// The node after (forward) or before `c` in its container; nullptr at either
// end, and for the window, which has no container.
Control* accessibleSibling(const Controls& controls, const Control& c, bool forward);

// The node of `host` that is, or holds, `focus`; nullptr when the focus is
// on `host` itself, outside it, or nowhere.
const Control* accessibleFocusPath(const Controls& controls, const Control& host, const Control* focus);

// Whether a node is offered to a listener now: it and every container round
// it are shown. A platform may leave the others out or mark them invisible.
bool offered(const Controls& controls, const Control& c);

struct AccessibleState {
    bool offered = false;
    bool unavailable = false;  // it, or a container round it, is disabled
    bool focusable = false;    // a stop of the tab order
    bool focused = false;
};
// `focus`: the control that holds the keyboard focus, if any.
AccessibleState accessibleState(const Controls& controls, const Control& c, const Control* focus);

// What a list says it is set to: the entry shown; empty for other controls.
std::string accessibleValue(const Control& c);

// Whether a tool may press the control: the buttons, as the child sees them.
// Whether the press is taken now is takesPress()'s.
bool accessiblePressable(const Control& c);

// The node of `host` under a point: the controls with a window of their own
// lie in front of those the container paints; within each, the table runs
// from front to back. Only offered nodes are found; nullptr when none is.
const Control* accessibleChildAt(const Controls& controls, const Control& host,
                                 const std::function<bool(const Control&)>& contains,
                                 const std::function<bool(const Control&)>& windowed);

// What a listener is told, in words every platform has.
enum class AccessibleEvent { NameChanged, ValueChanged, StateChanged, Shown, Hidden, LocationChanged, Focus };

// The events a change of the model raises for the control's node, in order;
// none for a control outside the tree. A name that reads the caption (a
// tile's number) changes with it; the loudspeaker shown tells the speech's
// state by its name; a list's entry is its value.
std::vector<AccessibleEvent> accessibleEvents(const Control& c, Change change);

}  // namespace ui
