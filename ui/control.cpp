// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/control.h"

#include <stdexcept>

namespace ui {

Control::Control(const ControlSpec& design)
    : design_(&design),
      caption_(design.caption),
      visible_(design.visible),
      enabled_(design.enabled),
      left_(design.left),
      top_(design.top),
      width_(design.width),
      height_(design.height),
      backColor_(design.backColor.value_or(kWhite)) {}

void Control::setCaption(std::string text) {
    if (text == caption_) return;
    caption_ = std::move(text);
    notify(Change::Caption);
}

void Control::setVisible(bool on) {
    if (on == visible_) return;
    visible_ = on;
    notify(Change::Visible);
}

void Control::setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    if (kind() == Kind::Timer) applyTimer();
    notify(Change::Enabled);
}

void Control::setLeft(int twips) {
    left_ = twips;
    notify(Change::Geometry);
}
void Control::setTop(int twips) {
    top_ = twips;
    notify(Change::Geometry);
}
void Control::setWidth(int twips) {
    width_ = twips;
    notify(Change::Geometry);
}
void Control::setHeight(int twips) {
    height_ = twips;
    notify(Change::Geometry);
}
void Control::fitSize(int widthTwips, int heightTwips) {
    width_ = widthTwips;
    height_ = heightTwips;
}

void Control::setBackColor(Color c) {
    if (c == backColor_) return;
    backColor_ = c;
    notify(Change::BackColor);
}

std::string Control::itemText(int index) const {
    if (index < 0 || index >= itemCount()) return {};
    return design_->items[static_cast<std::size_t>(index)];
}

void Control::select(int index) {
    if (index < -1 || index >= itemCount()) return;
    setSelectedIndex(index);
    raise();
}

void Control::setSelectedIndex(int index) {
    if (index < -1 || index >= itemCount()) return;
    selectedIndex_ = index;
    notify(Change::Selection);
}

void Control::clearSelectionMark(int index) {
    if (index >= 0 && index == selectedIndex_) {
        selectedIndex_ = -1;
        notify(Change::Selection);
    }
}

bool Control::setFocus() {
    if (!visible_ || !enabled_) return false;
    notify(Change::Focus);
    return true;
}

void Control::setInterval(int ms) {
    interval_ = ms < 0 ? 0 : ms;
    applyTimer();
}

void Control::applyTimer() {
    if (!timer_) return;
    if (enabled_ && interval_ > 0)
        timer_->start(interval_);
    else
        timer_->stop();
}

Controls::Controls(const std::vector<ControlSpec>& table) {
    controls_.reserve(table.size());
    for (const auto& design : table) controls_.push_back(std::make_unique<Control>(design));
}

Control* Controls::find(std::string_view name) {
    for (auto& c : controls_)
        if (c->name() == name) return c.get();
    return nullptr;
}

const Control* Controls::find(std::string_view name) const { return const_cast<Controls&>(*this).find(name); }

Control& Controls::operator[](std::string_view name) {
    if (Control* c = find(name)) return *c;
    throw std::out_of_range("no control named " + std::string(name));
}

const Control& Controls::operator[](std::string_view name) const {
    return const_cast<Controls&>(*this)[name];
}

bool takesPress(const Controls& controls, const Control& c) {
    if (!c.visible() || !c.enabled() || !c.handler) return false;
    const Control* host = controls.find(c.design().container);
    return !host || host->visible();
}

}  // namespace ui
