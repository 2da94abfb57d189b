// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/keyboard.h"

#include <string_view>

namespace ui {

KeyAction keyAction(const KeyPress& key, Kind focused, bool listOpen) {
    if (key.ctrl || key.alt || key.other) return KeyAction::None;
    switch (key.key) {
    case Key::Tab:
        return key.shift ? KeyAction::FocusPrevious : KeyAction::FocusNext;
    case Key::Space:
    case Key::Enter:
        if (key.shift) return KeyAction::None;
        // In the open list Enter picks, as its own keys do.
        if (focused == Kind::ComboBox) return listOpen ? KeyAction::None : KeyAction::OpenList;
        return focused == Kind::Form ? KeyAction::None : KeyAction::Press;
    default:
        return KeyAction::None;
    }
}

bool matchesShortcut(const std::string& shortcut, const KeyPress& key) {
    constexpr std::string_view kCtrl = "Ctrl+";
    if (shortcut.size() != kCtrl.size() + 1 || shortcut.compare(0, kCtrl.size(), kCtrl) != 0) return false;
    return key.key == Key::Letter && key.letter == shortcut.back() && key.ctrl && !key.alt && !key.shift &&
           !key.other;
}

bool RingShown::keyPressed(const KeyPress& key) {
    if (shown_ || key.key == Key::Modifier) return false;
    return shown_ = true;
}

bool RingShown::pointerPressed() {
    if (!shown_) return false;
    shown_ = false;
    return true;
}

bool canTakeFocus(const Controls& controls, const Control& c) {
    if (!c.visible() || !c.enabled()) return false;
    for (std::string host = c.design().container; !host.empty();) {
        const Control& h = controls[host];
        if (!h.visible()) return false;
        host = h.design().container;
    }
    return true;
}

TabOrder::TabOrder(Controls& controls, const std::vector<std::vector<std::string>>& order) {
    for (const auto& names : order) {
        std::vector<Control*> stop;
        for (const auto& name : names)
            if (Control* c = controls.find(name)) stop.push_back(c);
        if (!stop.empty()) stops_.push_back(std::move(stop));
    }
}

int TabOrder::stopOf(const Control& c) const {
    for (std::size_t i = 0; i < stops_.size(); ++i)
        for (const Control* s : stops_[i])
            if (s == &c) return static_cast<int>(i);
    return -1;
}

Control* TabOrder::firstIn(std::size_t stop, const CanFocus& can) const {
    for (Control* c : stops_[stop])
        if (can(*c)) return c;
    return nullptr;
}

Control* TabOrder::next(const Control* from, bool forward, const CanFocus& can) const {
    const int n = static_cast<int>(stops_.size());
    if (n == 0) return nullptr;
    const int at = from ? stopOf(*from) : -1;
    int i = at >= 0 ? at : (forward ? -1 : n);
    for (int step = 0; step < n; ++step) {
        i = forward ? (i + 1) % n : (i - 1 + n) % n;
        if (i == at) break;
        if (Control* c = firstIn(static_cast<std::size_t>(i), can)) return c;
    }
    return nullptr;
}

Control* TabOrder::atSameStop(const Control& from, const CanFocus& can) const {
    const int at = stopOf(from);
    return at < 0 ? nullptr : firstIn(static_cast<std::size_t>(at), can);
}

Control* TabOrder::afterLoss(Control& was, const CanFocus& can) const {
    if (Control* same = can(was) ? &was : atSameStop(was, can)) return same;
    return next(&was, true, can);
}

}  // namespace ui
