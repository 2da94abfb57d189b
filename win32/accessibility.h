// SPDX-License-Identifier: GPL-3.0-or-later
// What screen readers get from the window on Windows, through Microsoft
// Active Accessibility: each window of the binding (the form, the frames,
// the buttons and lists) answers WM_GETOBJECT with an IAccessible of ours
// that reads the control model, with the names, descriptions and roles of
// ui/accessibility.h as they are. Labels, which have no window, are simple
// elements of their container's object.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "ui/control.h"

namespace win32 {

class Accessibility {
public:
    struct Binding {
        // The control's own window; nullptr for a control its container paints.
        std::function<HWND(const ui::Control&)> windowOf;
        // Where the control lies on the screen, in pixels.
        std::function<RECT(const ui::Control&)> screenRectOf;
        // What a click on the control does. It runs from the window's own
        // queue, never inside an assistive tool's call.
        std::function<void(ui::Control&)> press;
    };

    // Made on the window's thread, which it enters into a single-threaded
    // apartment when a tool first asks for an object, if it is in none.
    Accessibility(ui::Controls& controls, Binding binding);
    ~Accessibility();
    Accessibility(const Accessibility&) = delete;
    Accessibility& operator=(const Accessibility&) = delete;

    // Called first in every window procedure of the binding: true when the
    // message was ours (WM_GETOBJECT, a press asked for by a tool), with the
    // window procedure's result in `result`.
    bool answer(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    // Tells listening tools of a change of the model.
    void changed(const ui::Control& c, ui::Change change);

    // Cuts every object handed out from the model: tools that still hold one
    // get CO_E_OBJNOTCONNECTED from then on. The window's destruction does it
    // by itself.
    void disconnect();

    struct Shared;  // what the handed-out objects share with this

private:
    bool enterApartment();

    std::shared_ptr<Shared> shared_;
    // Whether the window's thread is in a single-threaded apartment.
    enum class Apartment { NotYet, Entered, Refused } apartment_ = Apartment::NotYet;
};

}  // namespace win32
