// SPDX-License-Identifier: GPL-3.0-or-later
// What a toolkit binding provides and what it must call: the one page to read
// before writing a binding. A binding turns the toolkit's events into calls
// here and the model's changes into toolkit calls; it decides nothing itself.
//
// Its window derives from ui::Binding and
//  - keeps its controls in a ui::ViewTable (ui/views.h) and mirrors every
//    ui::Change of every control (changed(), below) as ui::whatChangeNeeds
//    says;
//  - gives an image its picture's size (ui::fitPicture) and fits each label
//    (ui::fitLabel over its own ui::TextMeasure, ui/look.h), before observe();
//  - draws each kind as ui/look.h describes it, at the window's scale;
//  - reports the mouse's left button per container with what lies under the
//    pointer (pointerPressed and the rest, below), the second press of a
//    double click as pointerDoubleClicked, and a list box's button through
//    ui::ListPress (ui/pointer.h);
//  - reports a pick in a list through pick(), a press by a key or an
//    assistive tool through activate(): the rules live in them;
//  - implements ui::FocusHost and hands every key, the toolkit's focus moves
//    and the model's changes to ui::FocusRules (ui/focus.h), which gives the
//    first focus, walks Tab, presses, and places the ring it then draws;
//  - offers screen readers the tree of ui/accessible_tree.h, encoded in the
//    platform's terms, and raises the platform's event for each of
//    ui::accessibleEvents();
//  - draws at another scale, after which the program centres the panel
//    again on the screen as at the start (ui::placeAtStartup);
//  - may be closed and destroyed before its event loop ever runs.
// Beside the window, a library above the binding implements the platform
// services of app/ports.h (the event pump, the screen in twips, the window's
// show and close) and ui::TimerPort (control.h); main/trainer.h wires them,
// each platform giving only its parts. The binding includes nothing of app/.
// Twips, pixels and hit tests: ui/placement.h.

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
