// SPDX-License-Identifier: GPL-3.0-or-later
// What a toolkit binding provides and what it must call: the one page to read
// before writing a binding. A binding turns the toolkit's events into calls
// here and the model's changes into toolkit calls; it decides nothing itself.
//
// Its window derives from ui::Binding and
//  - mirrors every ui::Change of every control (changed(), below) as
//    ui::whatChangeNeeds says, keeping its controls in a ui::ViewTable;
//  - gives an image its picture's size and an auto-size label its caption's
//    through Control::fitSize, before observe() (fitSize notifies nobody);
//  - reports the mouse's left button per container with what lies under the
//    pointer (pointerPressed and the rest, below), the second press of a
//    double click as pointerDoubleClicked, and a list box's button through
//    ui::ListPress;
//  - reports a pick in a list through pick(), a press by a key or an
//    assistive tool through activate(): the rules live in them;
//  - gives the first focus to ui::kFirstFocus when the window first shows;
//  - draws at another scale, after which the program centres the panel
//    again on the screen as at the start (ui::placeAtStartup);
//  - may be closed and destroyed before its event loop ever runs.
// Beside the window, a library above the binding implements the platform
// services of app/ports.h (the event pump, the screen in twips, the window's
// show and close) and ui::TimerPort (control.h); main/trainer.h wires them.
// The binding itself includes nothing of app/.
//
// The shared rules it calls on: ui/pointer.h (clicks), ui/focus.h (the
// keyboard focus and Tab), ui/look.h (how each control is drawn, with the
// binding's text measurer), ui/accessible_tree.h (what screen readers are
// shown), ui/placement.h (twips, pixels and hit tests), ui/views.h (the
// table of the controls shown, and what a change asks of the window).
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "ui/control.h"
#include "ui/pointer.h"

namespace ui {

class Binding {
public:
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    Controls& controls() const { return controls_; }
    // The window's own control name.
    const std::string& formName() const { return formName_; }

    // A press by a key (Space, Enter, a shortcut) or an assistive tool does
    // what a click does, the focus included, when ui::takesPress lets it.
    void activate(Control& c);
    // A click on a control with the mouse: it takes the focus where it can,
    // then its handler runs.
    void clicked(Control& c);

protected:
    // userEvent: the child clicked a control that has a handler or picked an
    // entry in a list (the pick is already recorded in the model).
    // formClick: the child clicked the bare window, outside every control.
    Binding(Controls& controls, std::function<void(Control&)> userEvent, std::function<void()> formClick);
    virtual ~Binding();

    // Mirrors one change of the control at `row` of the table on screen.
    // ui::whatChangeNeeds tells what each of the seven ui::Change values
    // asks; the binding carries out its flags with toolkit calls only.
    virtual void changed(std::size_t row, Change change) = 0;
    // A control clicked with the mouse takes the keyboard focus, if it is a
    // stop of the tab order and can be reached.
    virtual void focusOnClick(Control& c) = 0;

    // Attaches the model's observer to every control, once the toolkit's
    // windows exist: last in the constructor.
    void observe();
    // Detaches it: first in the destructor, while the windows still exist.
    void stopObserving();

    // A press the toolkit's own widget has judged (a push button's click):
    // the handler, if there is one, is raised as a user event.
    void userEvent(Control& c) {
        if (c.handler) userEvent_(c);
    }
    // The child picked entry `index` of a list: recorded with
    // setSelectedIndex, then the handler is raised as a user event.
    void pick(Control& c, int index);

    // The mouse's left button in a container (a picture box is a container
    // of its own), with the label or image under the pointer (nullptr: none;
    // for a picture box, itself while the pointer is on it).
    void pointerPressed(std::string_view container, Control* under);
    void pointerDoubleClicked(std::string_view container);
    // inside: the pointer is within the container's area.
    void pointerReleased(std::string_view container, Control* under, bool inside);

private:
    Controls& controls_;
    std::string formName_;
    std::function<void(Control&)> userEvent_;
    std::function<void()> formClick_;
    PointerTracker pointer_;
};

}  // namespace ui
