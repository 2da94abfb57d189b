// SPDX-License-Identifier: GPL-3.0-or-later
// Where controls land on screen, without any toolkit: twips to pixels and
// the offsets of nested containers. The Qt binding and the control_rect tool
// share it, so both agree to the pixel.
#pragma once

#include <cmath>
#include <string_view>

#include "ui/control.h"
#include "ui/control_table.h"

namespace ui {

// Device-independent pixels; twips that fall between two pixels round to
// the nearer one.
inline int twipsToPixels(int twips) {
    const int half = kTwipsPerPixel / 2;
    return twips >= 0 ? (twips + half) / kTwipsPerPixel : -((-twips + half) / kTwipsPerPixel);
}
inline int pixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }

// Where a control's container lies in the window, in pixels: the frames it
// sits in, each placed in pixels in its own container, as the widgets are.
inline void containerOffsetPixels(const Controls& controls, const Control& c, int& x, int& y) {
    x = y = 0;
    std::string_view parent = c.design().container;
    for (int depth = 0; depth < 16 && !parent.empty(); ++depth) {
        const Control* p = nullptr;
        for (const auto& q : controls.all())
            if (q->name() == parent) p = q.get();
        if (!p || p->kind() == Kind::Form) break;
        x += twipsToPixels(p->left());
        y += twipsToPixels(p->top());
        parent = p->design().container;
    }
}

}  // namespace ui
