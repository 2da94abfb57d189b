// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/views.h"

#include "ui/look.h"
#include "ui/placement.h"
#include "win32/artwork.h"
#include "win32/fonts.h"

namespace win32 {

RECT toRECT(const ui::Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

RECT pixelRect(const ui::Control& c, int dpi) { return toRECT(ui::drawnRect(c, dpi)); }

RECT paintArea(const ui::Control& c, int dpi) { return toRECT(ui::paintBounds(c, dpi)); }

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

ControlViews::ControlViews(ui::Controls& controls, int dpi) : controls_(controls), dpi_(dpi) {
    views_.reserve(controls_.all().size());
    for (auto& c : controls_.all()) {
        ControlView v;
        v.control = c.get();
        v.font = makeFont(c->design().font, ui::fontPixels(c->design().font, dpi_));
        if (!c->design().picture.empty()) v.picture = loadPicture(c->design().picture, v.pictureSize);
        index_[c->name()] = views_.size();
        if (c->kind() == ui::Kind::Form) formName_ = c->name();
        views_.push_back(v);
    }
    for (ControlView& v : views_)
        if (ui::isLightweight(v.control->kind())) layers_[v.control->design().container].push_back(&v);
}

ControlViews::~ControlViews() {
    for (ControlView& v : views_) {
        if (v.font) DeleteObject(v.font);
        if (v.fitted) DeleteObject(v.fitted);
        if (v.picture) DeleteObject(v.picture);
    }
}

void ControlViews::setDpi(int dpi) {
    dpi_ = dpi;
    for (ControlView& v : views_) {
        HFONT old = v.font;
        v.font = makeFont(v.control->design().font, ui::fontPixels(v.control->design().font, dpi_));
        if (old) DeleteObject(old);
        if (v.fitted) DeleteObject(v.fitted);
        v.fitted = nullptr;
    }
}

ControlView* ControlViews::find(std::string_view name) {
    auto it = index_.find(std::string(name));
    return it == index_.end() ? nullptr : &views_[it->second];
}

const ControlView* ControlViews::find(std::string_view name) const {
    auto it = index_.find(std::string(name));
    return it == index_.end() ? nullptr : &views_[it->second];
}

ControlView* ControlViews::byWindow(HWND window) {
    if (!window) return nullptr;
    for (ControlView& v : views_)
        if (v.window == window) return &v;
    return nullptr;
}

HWND ControlViews::containerWindow(std::string_view container) const {
    if (container.empty() || container == formName_) return form_;
    const ControlView* v = find(container);
    return v ? v->window : nullptr;
}

const std::vector<ControlView*>& ControlViews::layer(std::string_view container) const {
    static const std::vector<ControlView*> none;
    auto it = layers_.find(std::string(container));
    return it == layers_.end() ? none : it->second;
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
