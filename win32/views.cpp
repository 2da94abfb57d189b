// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/views.h"

#include "ui/look.h"
#include "win32/artwork.h"
#include "win32/fonts.h"

namespace win32 {

RECT toRECT(const ui::Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

RECT pixelRect(const ui::Control& c, int dpi) { return toRECT(ui::drawnRect(c, dpi)); }

bool hasWindow(const ui::Control& c) {
    switch (c.kind()) {
    case ui::Kind::Frame:
    case ui::Kind::PictureBox:
    case ui::Kind::Button:
    case ui::Kind::ComboBox:
    case ui::Kind::ListBox:
        return true;
    case ui::Kind::Label:
    case ui::Kind::Image:
        return c.handler != nullptr;
    default:
        return false;
    }
}

ControlViews::ControlViews(ui::Controls& controls, int dpi) : ViewTable(controls), dpi_(dpi) {
    for (ControlView& v : all()) {
        const ui::ControlSpec& design = v.control->design();
        v.font = makeFont(design.font, ui::fontPixels(design.font, dpi_));
        if (!design.picture.empty()) v.picture = loadPicture(design.picture, v.pictureSize);
    }
}

ControlViews::~ControlViews() {
    for (ControlView& v : all()) {
        if (v.font) DeleteObject(v.font);
        if (v.fitted) DeleteObject(v.fitted);
        if (v.picture) DeleteObject(v.picture);
    }
}

void ControlViews::setDpi(int dpi) {
    dpi_ = dpi;
    for (ControlView& v : all()) {
        HFONT old = v.font;
        v.font = makeFont(v.control->design().font, ui::fontPixels(v.control->design().font, dpi_));
        if (old) DeleteObject(old);
        if (v.fitted) DeleteObject(v.fitted);
        v.fitted = nullptr;
    }
}

const std::vector<ControlView*>& ControlViews::stack(std::string_view container) const {
    static const std::vector<ControlView*> none;
    auto it = stacks_.find(std::string(container));
    return it == stacks_.end() ? none : it->second;
}

void repaintArea(HWND container, const RECT& area) {
    if (container) RedrawWindow(container, &area, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

}  // namespace win32
