// SPDX-License-Identifier: GPL-3.0-or-later
// The keyboard focus of the window and the ring round it, without a
// toolkit: which control has the focus, what a key does to it, where the
// ring goes, and where the focus goes when its control is hidden. A binding
// tells it the toolkit's events and carries out the few toolkit calls of
// FocusHost.
#pragma once

#include <array>
#include <string>

#include "ui/control.h"
#include "ui/keyboard.h"
#include "ui/placement.h"

namespace ui {

// Why a control is given the focus (the toolkits tell their widgets).
enum class FocusCause { Tab, Backtab, Click, Program };

// Where the ring goes: round `around`, in the pixels of the container it is
// drawn in. No container: it is hidden.
struct RingPlace {
    std::string container;
    PixelBox around;
    bool shown() const { return !container.empty(); }
    bool operator==(const RingPlace& o) const {
        return container == o.container && around.x == o.around.x && around.y == o.around.y &&
               around.width == o.around.width && around.height == o.around.height;
    }
};

// The ring round a control's box at a scale: kFocusRingWidth wide,
// kFocusRingGap clear of the box. All it covers, and its four bands (top,
// bottom, left, right).
PixelBox ringOuter(const PixelBox& around, int dpi = kDesignDpi);
std::array<PixelBox, 4> ringBands(const PixelBox& around, int dpi = kDesignDpi);

// What the binding does for the rules.
class FocusHost {
public:
    virtual ~FocusHost() = default;
    // The control whose own widget has the toolkit's focus in this window
    // (a frame or the form when it holds a label's focus); nullptr: none.
    virtual Control* toolkitFocus() const = 0;
    // Whether the control has a widget of its own to take the toolkit's
    // focus; a label or image without one is focused inside its container's.
    virtual bool hasWidget(const Control& c) const = 0;
    // Gives the toolkit's focus to the control's widget.
    virtual void giveFocus(Control& c, FocusCause cause) = 0;
    // A container kept the toolkit's focus while its focused label or image
    // changed: the screen reader is told.
    virtual void focusMovedInside(Control& container) { (void)container; }
    // Calls FocusRules::repair once the handler now running has returned.
    virtual void queueRepair() = 0;
    // The ring's rectangle round a focused control, in its container's pixels.
    virtual PixelBox ringBox(const Control& c) const { return pixelBox(c); }
    // The ring moved from `from` to `to` (either may be hidden).
    virtual void ringMoved(const RingPlace& from, const RingPlace& to) = 0;
    virtual bool listOpen(const Control& list) const = 0;
    virtual void showList(Control& list, bool open) = 0;
    // The child's press on a control, as a click.
    virtual void press(Control& c) = 0;
    // Space or Enter on a list box: its current entry is picked, as a click
    // on it (also the entry already selected).
    virtual void pickCurrentEntry(Control& list) = 0;
};

class FocusRules {
public:
    FocusRules(Controls& controls, FocusHost& host);

    // The control that has the focus; nullptr when none has.
    Control* focused() const;
    // The label or image focused inside that container's widget, while the
    // widget has the toolkit's focus; nullptr otherwise.
    Control* lightweightFocusIn(const Control& container) const;
    bool isStop(const Control& c) const { return order_.contains(c); }
    // What a click reaches, the keyboard reaches: shown and enabled, inside
    // shown frames, in front at its centre, and with a widget to hold it.
    bool reachable(const Control& c) const;

    // Gives a control the focus (a label or image: its container's widget).
    void focus(Control& c, FocusCause cause = FocusCause::Program);
    // The design's first focus, when it can take it.
    void focusFirst();
    // Tab (forward) and Shift+Tab. Returns whether the focus moved.
    bool tab(bool forward);

    // A key went down in the window; true when the rules used it up.
    bool key(const KeyPress& key);
    // A key that went elsewhere (an open list's popup): it shows the ring.
    void keyElsewhere(const KeyPress& key) {
        if (shown_.keyPressed(key)) placeRing();
    }
    // A pointer button went down; true when that hid the ring.
    bool pointerPressed();
    // A click on a control about to run its handler: a stop of the tab
    // order takes the focus, as a push button does.
    void clicked(Control& c);

    // The toolkit's focus moved.
    void toolkitFocusMoved() { placeRing(); }
    // The toolkit is taking its focus off a widget being hidden or disabled.
    void toolkitFocusLeaving();
    // The model changed a control (and the binding carried it out).
    void changed(Control& c, Change change);
    // Before the binding carries out a change of the model, where the
    // toolkit moves its focus off a window being hidden or disabled at once.
    void changing(Change change);
    // After a loss of the focus (queueRepair): the tab order tells where it
    // goes, once the handler that hid the control has run.
    void repair();

    // The window was deactivated and activated again: the focus comes back
    // to the control that had it (the first time: the design's first focus).
    void activation(bool active);

    const RingPlace& ring() const { return ring_; }
    bool ringShown() const { return shown_.shown(); }

private:
    // Whether a label or image is focused inside its container's widget.
    bool heldByContainer(const Control& c) const { return isLightweight(c.kind()) && !host_.hasWidget(c); }
    Control& holderOf(Control& c) const { return heldByContainer(c) ? controls_[c.design().container] : c; }
    void pressKey(Control& c, KeyAction action);
    void placeRing();
    void lose(Control* was);

    Controls& controls_;
    FocusHost& host_;
    TabOrder order_;
    RingShown shown_;
    RingPlace ring_;
    Control* lightweight_ = nullptr;  // the label or image last given the focus
    Control* lost_ = nullptr;         // the control whose focus is being repaired
    Control* last_ = nullptr;         // the focus when the window was deactivated
    Control* before_ = nullptr;       // the focus before a change (changing())
};

}  // namespace ui
