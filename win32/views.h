// SPDX-License-Identifier: GPL-3.0-or-later
// What the window keeps of each control it shows (ui/views.h), with GDI's
// objects: its font and picture, and its child window. The form window fills
// it in; the painting and the keyboard read it.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ui/control.h"
#include "ui/look.h"
#include "ui/views.h"

namespace win32 {

struct ControlView : ui::View {
    HWND window = nullptr;  // child windows only
    HFONT font = nullptr;
    HBITMAP picture = nullptr;
    SIZE pictureSize{};
    HFONT fitted = nullptr;  // a fixed-size label's font for a too-wide caption
};

// A rectangle of ui/look.h as GDI's.
RECT toRECT(const ui::Rect& r);
// A control's rectangle in its container's pixels at a scale (dots per
// inch), as it is drawn.
RECT pixelRect(const ui::Control& c, int dpi);

// Whether a control is shown by a child window of its own: everything a
// child can click or reach with Tab, the frames, and the push buttons.
// The rest (labels without a handler, shapes, lines, images without a
// handler) is painted by its container.
bool hasWindow(const ui::Control& c);

// Repaints an area of a container, the child windows over it included
// (they show what lies behind them).
void repaintArea(HWND container, const RECT& area);

// The form's window is form(); a control's child window is ownFor(name).
class ControlViews : public ui::ViewTable<ControlView, &ControlView::window> {
public:
    // The fonts are made for `dpi`, the scale the window draws at.
    ControlViews(ui::Controls& controls, int dpi);
    ~ControlViews();  // frees the fonts and pictures

    // The scale the window draws at, in dots per inch (96: the design's).
    int dpi() const { return dpi_; }
    // Another scale: every font is made anew at once and the old ones are
    // freed (the caller hands the new ones to the child windows before
    // anything paints); fitted fonts are dropped.
    void setDpi(int dpi);

    // The child windows of a container, front to back (the form window
    // stacks them so); a control's window hides those after it.
    std::vector<ControlView*>& stack(std::string_view container) { return stacks_[std::string(container)]; }
    const std::vector<ControlView*>& stack(std::string_view container) const;

private:
    int dpi_;
    std::unordered_map<std::string, std::vector<ControlView*>> stacks_;
};

}  // namespace win32
