// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/binding.h"

#include <utility>

namespace ui {
namespace {

std::string formOf(const Controls& controls) {
    for (const auto& c : controls.all())
        if (c->kind() == Kind::Form) return c->name();
    return {};
}

}  // namespace

Binding::Binding(Controls& controls, std::function<void(Control&)> userEvent, std::function<void()> formClick)
    : controls_(controls), formName_(formOf(controls)), userEvent_(std::move(userEvent)),
      formClick_(std::move(formClick)), pointer_(formName_) {}

Binding::~Binding() { stopObserving(); }

void Binding::observe() {
    auto& all = controls_.all();
    for (std::size_t row = 0; row < all.size(); ++row)
        // Each observer knows its row: the dealing loops change captions many
        // times per card, and a lookup by name on each would be waste.
        all[row]->observer = [this, row](Control&, Change change) { changed(row, change); };
}

void Binding::stopObserving() {
    for (auto& c : controls_.all()) c->observer = nullptr;
}

void Binding::activate(Control& c) {
    if (takesPress(controls_, c)) clicked(c);
}

void Binding::clicked(Control& c) {
    if (!c.handler) return;
    focusOnClick(c);
    userEvent_(c);
}

void Binding::pick(Control& c, int index) {
    if (index < 0 || index >= c.itemCount()) return;
    c.setSelectedIndex(index);
    if (c.handler) userEvent_(c);
}

void Binding::pointerPressed(std::string_view container, Control* under) { pointer_.press(container, under); }

void Binding::pointerDoubleClicked(std::string_view container) { pointer_.doubleClick(container); }

void Binding::pointerReleased(std::string_view container, Control* under, bool inside) {
    const PointerClick click = pointer_.release(container, under, inside);
    if (click.control)
        clicked(*click.control);
    else if (click.bareWindow && formClick_)
        formClick_();
}

}  // namespace ui
