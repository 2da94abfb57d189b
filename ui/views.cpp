// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views.h"

#include <algorithm>

namespace ui {

Rect unite(const Rect& a, const Rect& b) {
    const auto empty = [](const Rect& r) { return r.right <= r.left || r.bottom <= r.top; };
    if (empty(a)) return b;
    if (empty(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

Redraw whatChangeNeeds(const Control& c, Change change) {
    Redraw r;
    if (c.kind() == Kind::Form) {
        r.wholeForm = true;
        return r;
    }
    if (c.kind() == Kind::Timer) return r;
    r.tell = true;
    const bool lightweight = isLightweight(c.kind());
    const bool label = c.kind() == Kind::Label;
    switch (change) {
    case Change::Caption:
        r.refit = label;
        r.text = true;
        r.redrawOwn = !lightweight;  // a frame draws its caption, a button its face
        r.repaint = lightweight;
        break;
    case Change::Visible:
        r.show = true;
        r.repaint = lightweight;
        break;
    case Change::Enabled:
        r.enable = true;
        r.repaint = lightweight;
        break;
    case Change::Geometry:
        // An auto-size label was sized to its caption; a fixed one may no
        // longer hold it.
        r.refit = label && !c.design().autoSize;
        r.place = true;
        r.repaint = lightweight;
        break;
    case Change::BackColor:
        r.backColor = c.kind() == Kind::Button;
        r.redrawOwn = !lightweight;
        r.repaint = lightweight;
        break;
    case Change::Selection:
        r.comboSelection = c.kind() == Kind::ComboBox;
        r.listSelection = c.kind() == Kind::ListBox;
        break;
    case Change::Focus:
        r.focus = true;
        break;
    }
    return r;
}

}  // namespace ui
