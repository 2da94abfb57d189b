// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/focus.h"

#include <utility>

#include "ui/control_table.h"

namespace ui {

PixelBox ringOuter(const PixelBox& around, int dpi) {
    const int out = scaledPixels(kFocusRingGap + kFocusRingWidth, dpi);
    return {around.x - out, around.y - out, around.width + 2 * out, around.height + 2 * out};
}

std::array<PixelBox, 4> ringBands(const PixelBox& around, int dpi) {
    const PixelBox o = ringOuter(around, dpi);
    const int w = scaledPixels(kFocusRingWidth, dpi);
    return {{{o.x, o.y, o.width, w}, {o.x, o.y + o.height - w, o.width, w}, {o.x, o.y, w, o.height},
             {o.x + o.width - w, o.y, w, o.height}}};
}

FocusRules::FocusRules(Controls& controls, FocusHost& host)
    : controls_(controls), host_(host), order_(controls, tabOrder()) {}

Control* FocusRules::focused() const {
    Control* held = host_.toolkitFocus();
    if (!held) return nullptr;
    if (lightweight_ && &holderOf(*lightweight_) == held) return lightweight_;
    return held->kind() == Kind::Form ? nullptr : held;
}

Control* FocusRules::lightweightFocusIn(const Control& container) const {
    if (!lightweight_ || &holderOf(*lightweight_) != &container) return nullptr;
    return host_.toolkitFocus() == &container ? lightweight_ : nullptr;
}

bool FocusRules::reachable(const Control& c) const {
    return canTakeFocus(controls_, c) && frontmostAtCentre(controls_, c) &&
           host_.hasWidget(heldByContainer(c) ? controls_[c.design().container] : c);
}

void FocusRules::focus(Control& c, FocusCause cause) {
    Control& holder = holderOf(c);
    if (!host_.hasWidget(holder)) return;
    if (&holder != &c) {
        lightweight_ = &c;
        // The toolkit sees no change when the container holds it already.
        if (host_.toolkitFocus() == &holder) {
            host_.focusMovedInside(holder);
            placeRing();
            return;
        }
    }
    host_.giveFocus(holder, cause);
    placeRing();
}

void FocusRules::focusFirst() {
    if (Control* first = controls_.find(kFirstFocus); first && reachable(*first)) focus(*first);
}

bool FocusRules::tab(bool forward) {
    Control* to = order_.next(focused(), forward, [this](const Control& c) { return reachable(c); });
    if (!to) return false;
    focus(*to, forward ? FocusCause::Tab : FocusCause::Backtab);
    return true;
}

bool FocusRules::key(const KeyPress& k) {
    if (shown_.keyPressed(k)) placeRing();
    for (auto& c : controls_.all())
        if (matchesShortcut(c->design().shortcut, k)) {
            host_.press(*c);
            return true;
        }
    Control* now = focused();
    const bool open = now && now->kind() == Kind::ComboBox && host_.listOpen(*now);
    const KeyAction action = keyAction(k, now ? now->kind() : Kind::Form, open);
    switch (action) {
    case KeyAction::None:
        return false;
    case KeyAction::FocusNext:
    case KeyAction::FocusPrevious:
        if (open) host_.showList(*now, false);
        tab(action == KeyAction::FocusNext);
        return true;
    default:
        pressKey(*now, action);
        return true;
    }
}

void FocusRules::pressKey(Control& c, KeyAction action) {
    if (action == KeyAction::OpenList)
        host_.showList(c, true);
    else if (c.kind() == Kind::ListBox)
        host_.pickCurrentEntry(c);
    else if (isStop(c) && reachable(c))
        // A control out of the tab order (the close button, focused by a
        // click) takes no key.
        host_.press(c);
}

bool FocusRules::pointerPressed() {
    if (!shown_.pointerPressed()) return false;
    placeRing();
    return true;
}

void FocusRules::clicked(Control& c) {
    if (isStop(c) && reachable(c)) focus(c, FocusCause::Click);
}

void FocusRules::lose(Control* was) {
    if (lost_ || !was) return;
    lost_ = was;
    host_.queueRepair();
}

void FocusRules::toolkitFocusLeaving() { lose(focused()); }

// Only hiding and disabling take the focus away: asking the toolkit where
// its focus is can be slow, and the dealing loops write captions in numbers.
void FocusRules::changing(Change change) {
    if (change == Change::Visible || change == Change::Enabled) before_ = focused();
}

void FocusRules::changed(Control&, Change change) {
    Control* before = std::exchange(before_, nullptr);
    if (change != Change::Visible && change != Change::Enabled && change != Change::Geometry) return;
    // Hidden, disabled, or covered by what was shown over it.
    if (change != Change::Geometry)
        if (Control* was = before ? before : focused(); was && !reachable(*was)) lose(was);
    placeRing();
}

void FocusRules::repair() {
    Control* was = std::exchange(lost_, nullptr);
    if (!was) return;
    // A handler may have given the focus elsewhere already; a frame the
    // toolkit gave it to when its child was hidden is no place for it.
    if (Control* now = focused(); now && now != was && isStop(*now) && reachable(*now)) return;
    if (Control* to = order_.afterLoss(*was, [this](const Control& c) { return reachable(c); })) focus(*to);
}

void FocusRules::activation(bool active) {
    if (!active) last_ = focused();
    if (!active || focused()) return;
    Control* to = last_ ? last_ : controls_.find(kFirstFocus);
    if (to && reachable(*to)) focus(*to);
}

void FocusRules::placeRing() {
    RingPlace at;
    if (Control* c = shown_.shown() ? focused() : nullptr; c && reachable(*c))
        at = {c->design().container, host_.ringBox(*c)};
    if (at == ring_) return;
    const RingPlace from = std::exchange(ring_, at);
    host_.ringMoved(from, ring_);
}

}  // namespace ui
