// SPDX-License-Identifier: GPL-3.0-or-later
// What the window keeps of each control it shows: its font and picture, its
// child window or the area it was last painted in, and for each container
// the lightweight controls it paints, front to back. The form window fills
// it in; the painting and the keyboard read it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ui/control.h"
#include "ui/look.h"

namespace win32 {

struct ControlView {
    ui::Control* control = nullptr;
    HWND window = nullptr;  // child windows only
    HFONT font = nullptr;
    HBITMAP picture = nullptr;
    SIZE pictureSize{};
    RECT painted{};  // lightweight controls: the area last drawn
    // Fixed-size labels: how a too-wide caption is drawn, and its font.
    ui::CaptionFit fit;
    HFONT fitted = nullptr;
};

// A rectangle of ui/look.h as GDI's.
RECT toRECT(const ui::Rect& r);
// A control's rectangle in its container's pixels at a scale (dots per
// inch), as it is drawn.
RECT pixelRect(const ui::Control& c, int dpi);
// The area a lightweight control may paint (ui::paintMargin round it).
RECT paintArea(const ui::Control& c, int dpi);

// Whether a control is shown by a child window of its own: everything a
// child can click or reach with Tab, the frames, and the push buttons.
// The rest (labels without a handler, shapes, lines, images without a
// handler) is painted by its container.
bool hasWindow(const ui::Control& c);

// Repaints an area of a container, the child windows over it included
// (they show what lies behind them).
void repaintArea(HWND container, const RECT& area);

class ControlViews {
public:
    // The fonts are made for `dpi`, the scale the window draws at.
    ControlViews(ui::Controls& controls, int dpi);
    ~ControlViews();  // frees the fonts and pictures
    ControlViews(const ControlViews&) = delete;
    ControlViews& operator=(const ControlViews&) = delete;

    ui::Controls& controls() const { return controls_; }
    const std::string& formName() const { return formName_; }
    HWND form() const { return form_; }
    void setForm(HWND form) { form_ = form; }
    // The scale the window draws at, in dots per inch (96: the design's).
    int dpi() const { return dpi_; }
    // Another scale: every font is made anew at once and the old ones are
    // freed (the caller hands the new ones to the child windows before
    // anything paints); fitted fonts are dropped.
    void setDpi(int dpi);

    std::vector<ControlView>& all() { return views_; }
    const std::vector<ControlView>& all() const { return views_; }
    ControlView* find(std::string_view name);
    const ControlView* find(std::string_view name) const;
    ControlView* byWindow(HWND window);

    // The window that paints a container's lightweight controls: the form
    // for the form (or no container), else the frame's window.
    HWND containerWindow(std::string_view container) const;
    // The painted controls of a container, front to back (the label-like
    // controls with windows too: their container paints what they show).
    const std::vector<ControlView*>& layer(std::string_view container) const;
    // The child windows of a container, front to back (the form window
    // stacks them so); a control's window hides those after it.
    std::vector<ControlView*>& stack(std::string_view container) { return stacks_[std::string(container)]; }
    const std::vector<ControlView*>& stack(std::string_view container) const;

private:
    ui::Controls& controls_;
    std::string formName_;
    HWND form_ = nullptr;
    int dpi_;
    std::vector<ControlView> views_;  // table order
    std::unordered_map<std::string, std::size_t> index_;
    std::unordered_map<std::string, std::vector<ControlView*>> layers_;
    std::unordered_map<std::string, std::vector<ControlView*>> stacks_;
};

}  // namespace win32
