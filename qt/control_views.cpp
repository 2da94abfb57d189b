// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt/control_views.h"

#include <utility>

#include "qt/artwork.h"
#include "qt/fonts.h"
#include "ui/look.h"
#include "ui/placement.h"

namespace qt {

QRect toQRect(const ui::Rect& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

QRect pixelRect(const ui::Control& c) { return toQRect(ui::drawnRect(c)); }

QRect paintArea(const ui::Control& c) { return toQRect(ui::paintBounds(c)); }

ControlViews::ControlViews(ui::Controls& controls, QWidget& window) : controls_(controls), window_(window) {
    installFontSubstitutes();  // before the first font is made
    views_.reserve(controls_.all().size());
    for (auto& c : controls_.all()) {
        ControlView v;
        v.control = c.get();
        v.font = makeFont(c->design().font);
        if (!c->design().picture.empty()) v.pixmap = loadPicture(c->design().picture);
        index_[c->name()] = views_.size();
        if (c->kind() == ui::Kind::Form) formName_ = c->name();
        views_.push_back(std::move(v));
    }
    // The entries stay where they are from here on.
    for (ControlView& v : views_)
        if (ui::isLightweight(v.control->kind())) layers_[v.control->design().container].push_back(&v);
}

ControlView* ControlViews::find(std::string_view name) {
    auto it = index_.find(std::string(name));
    return it == index_.end() ? nullptr : &views_[it->second];
}

const ControlView* ControlViews::find(std::string_view name) const {
    auto it = index_.find(std::string(name));
    return it == index_.end() ? nullptr : &views_[it->second];
}

ui::Control* ControlViews::control(std::string_view name) const {
    const ControlView* v = find(name);
    return v ? v->control : nullptr;
}

QWidget* ControlViews::widgetFor(std::string_view name) const {
    if (name == formName_) return &window_;
    const ControlView* v = find(name);
    return v ? v->widget : nullptr;
}

QWidget* ControlViews::containerWidget(std::string_view container) const {
    return container.empty() ? &window_ : widgetFor(container);
}

const std::vector<ControlView*>& ControlViews::layer(std::string_view container) const {
    static const std::vector<ControlView*> none;
    auto it = layers_.find(std::string(container));
    return it == layers_.end() ? none : it->second;
}

ui::Control* ControlViews::lightweightAt(std::string_view container, QPoint pos) const {
    return ui::lightweightAt(controls_, container, pos.x(), pos.y());
}

}  // namespace qt
