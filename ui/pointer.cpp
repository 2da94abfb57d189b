// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pointer.h"

namespace ui {

void PointerTracker::press(std::string_view container, const Control* under) {
    pressed_.insert_or_assign(std::string(container), Press{under, under == nullptr});
}

void PointerTracker::doubleClick(std::string_view container) {
    pressed_.insert_or_assign(std::string(container), Press{});
}

PointerClick PointerTracker::release(std::string_view container, Control* under, bool inside) {
    const auto it = pressed_.find(std::string(container));
    if (it == pressed_.end()) return {};
    const Press before = it->second;
    it->second = Press{};
    if (under) {
        if (under == before.on && under->visible() && under->enabled()) return {under, false};
        return {};
    }
    return {nullptr, before.bare && inside && container == form_};
}

int ListPress::release(int selected, int under) {
    if (!held_) return -1;
    held_ = false;
    if (selected >= 0 && (under == selected || selected != before_)) return selected;
    return -1;
}

}  // namespace ui
