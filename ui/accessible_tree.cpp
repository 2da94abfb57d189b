// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/accessible_tree.h"

#include "ui/accessibility.h"
#include "ui/control_table.h"

namespace ui {
namespace {

bool isTabStop(const Control& c) {
    for (const auto& stop : tabOrder())
        for (const auto& name : stop)
            if (name == c.name()) return true;
    return false;
}

}  // namespace

bool inAccessibleTree(const Control& c) { return accessibleRole(c) != Role::None; }

const Control* accessibleRoot(const Controls& controls) {
    for (const auto& c : controls.all())
        if (c->design().container.empty() && inAccessibleTree(*c)) return c.get();
    return nullptr;
}

const Control* accessibleParent(const Controls& controls, const Control& c) {
    return c.design().container.empty() ? nullptr : controls.find(c.design().container);
}

std::vector<Control*> accessibleChildren(const Controls& controls, const Control& host) {
    std::vector<Control*> out;
    for (const auto& c : controls.all())
        if (c.get() != &host && c->design().container == host.name() && inAccessibleTree(*c)) out.push_back(c.get());
    return out;
}

int accessibleIndex(const Controls& controls, const Control& c) {
    const Control* up = accessibleParent(controls, c);
    if (!up) return -1;
    const std::vector<Control*> children = accessibleChildren(controls, *up);
    for (std::size_t i = 0; i < children.size(); ++i)
        if (children[i] == &c) return static_cast<int>(i);
    return -1;
}

Control* accessibleChild(const Controls& controls, const Control& host, int index) {
    const std::vector<Control*> children = accessibleChildren(controls, host);
    return index >= 0 && static_cast<std::size_t>(index) < children.size() ? children[static_cast<std::size_t>(index)]
                                                                           : nullptr;
}

Control* accessibleFirstChild(const Controls& controls, const Control& host) {
    return accessibleChild(controls, host, 0);
}

Control* accessibleLastChild(const Controls& controls, const Control& host) {
    return accessibleChild(controls, host, static_cast<int>(accessibleChildren(controls, host).size()) - 1);
}

Control* accessibleSibling(const Controls& controls, const Control& c, bool forward) {
    const Control* up = accessibleParent(controls, c);
    const int at = accessibleIndex(controls, c);
    return up && at >= 0 ? accessibleChild(controls, *up, forward ? at + 1 : at - 1) : nullptr;
}

const Control* accessibleFocusPath(const Controls& controls, const Control& host, const Control* focus) {
    for (const Control* c = focus; c; c = accessibleParent(controls, *c))
        if (accessibleParent(controls, *c) == &host) return c;
    return nullptr;
}

bool offered(const Controls& controls, const Control& c) {
    for (const Control* p = &c; p; p = accessibleParent(controls, *p))
        if (!p->visible()) return false;
    return true;
}

AccessibleState accessibleState(const Controls& controls, const Control& c, const Control* focus) {
    AccessibleState s;
    s.offered = offered(controls, c);
    for (const Control* p = &c; p; p = accessibleParent(controls, *p))
        if (!p->enabled()) s.unavailable = true;
    s.focusable = isTabStop(c);
    s.focused = focus == &c;
    return s;
}

std::string accessibleValue(const Control& c) {
    if (c.kind() != Kind::ComboBox && c.kind() != Kind::ListBox) return {};
    return c.itemText(c.selectedIndex());
}

bool accessiblePressable(const Control& c) {
    const Role role = accessibleRole(c);
    return role == Role::Button || role == Role::PushButton;
}

const Control* accessibleChildAt(const Controls& controls, const Control& host,
                                 const std::function<bool(const Control&)>& contains,
                                 const std::function<bool(const Control&)>& windowed) {
    const std::vector<Control*> children = accessibleChildren(controls, host);
    for (bool ownWindow : {true, false})
        for (const Control* c : children)
            if (windowed(*c) == ownWindow && offered(controls, *c) && contains(*c)) return c;
    return nullptr;
}

std::vector<AccessibleEvent> accessibleEvents(const Control& c, Change change) {
    if (!inAccessibleTree(c)) return {};
    switch (change) {
    case Change::Caption: {
        // A name of its own words does not follow the caption.
        const AccessibleText* words = accessibleText(c.name());
        if (words && !words->withCaption) return {};
        return {AccessibleEvent::NameChanged};
    }
    case Change::Visible:
        if (!c.visible()) return {AccessibleEvent::Hidden};
        if (namedByShowing(c)) return {AccessibleEvent::Shown, AccessibleEvent::NameChanged};
        return {AccessibleEvent::Shown};
    case Change::Enabled: return {AccessibleEvent::StateChanged};
    case Change::Geometry: return {AccessibleEvent::LocationChanged};
    case Change::Selection:
        if (c.kind() != Kind::ComboBox && c.kind() != Kind::ListBox) return {};
        return {AccessibleEvent::ValueChanged};
    case Change::Focus: return {AccessibleEvent::Focus};
    case Change::BackColor: break;  // a colour says nothing a listener reads
    }
    return {};
}

}  // namespace ui
