// SPDX-License-Identifier: GPL-3.0-or-later
// Where controls land on screen, without any toolkit: twips to pixels, the
// offsets of nested containers, and which control a click lands on. The Qt
// binding and the control_rect tool share it, so both agree to the pixel.
#pragma once

#include <cmath>
#include <string>
#include <string_view>

#include "ui/control.h"
#include "ui/control_table.h"

namespace ui {

// The design's scale: 96 dots per inch, 15 twips to the pixel. A binding
// that draws in the screen's own pixels passes its dots per inch; the Qt
// binding draws in device-independent pixels and keeps the design's.
inline constexpr int kDesignDpi = 96;
inline constexpr int kTwipsPerInch = 1440;

// Twips to pixels at a scale; twips that fall between two pixels round to
// the nearer one.
inline int twipsToPixels(int twips, int dpi = kDesignDpi) {
    const long long scaled = static_cast<long long>(twips) * dpi, half = kTwipsPerInch / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / kTwipsPerInch : -((-scaled + half) / kTwipsPerInch));
}
inline int pixelsToTwips(int pixels, int dpi = kDesignDpi) {
    const long long twips = static_cast<long long>(pixels) * kTwipsPerInch, half = dpi / 2;
    return static_cast<int>(twips >= 0 ? (twips + half) / dpi : -((-twips + half) / dpi));
}
// A length the design gives in pixels (a border, the focus ring) at a scale.
// A positive length never rounds to nothing: a phone's small scale still
// draws a frame's etch and a one-pixel border.
inline int scaledPixels(int pixels, int dpi) {
    const int scaled = (pixels * dpi + kDesignDpi / 2) / kDesignDpi;
    return pixels > 0 && scaled < 1 ? 1 : scaled;
}

// A font's size in pixels at a scale. Sizes are given in points at 20
// twips to the point, so at the design's scale every size in the table is
// a whole number of pixels (9.75pt is 13px, 72pt is 96px).
inline int fontPixels(const Font& f, int dpi = kDesignDpi) {
    const double points = f.points > 0 ? f.points : kDefaultFontPoints;
    const int pixels = static_cast<int>(std::lround(points * 20.0 * dpi / kTwipsPerInch));
    return pixels < 1 ? 1 : pixels;
}
// The family a font is drawn in: the row's, else the design's default.
inline std::string fontFamily(const Font& f) { return f.family.empty() ? kDefaultFontFamily : f.family; }

// A control's box in its container's pixels (not a line's: a line holds its
// two ends). A box of no width or height holds no point; one of a negative
// width or height reaches back from its corner.
struct PixelBox {
    int x = 0, y = 0, width = 0, height = 0;
    bool contains(int px, int py) const { return spans(x, width, px) && spans(y, height, py); }

private:
    static bool spans(int start, int length, int p) {
        return length < 0 ? p >= start + length && p < start : p >= start && p < start + length;
    }
};
inline PixelBox pixelBox(const Control& c, int dpi = kDesignDpi) {
    return {twipsToPixels(c.left(), dpi), twipsToPixels(c.top(), dpi), twipsToPixels(c.width(), dpi),
            twipsToPixels(c.height(), dpi)};
}

// How far past its box a control may paint: room for a thick line's round
// caps and for antialiased edges.
inline int paintMargin(const Control& c) {
    return 2 + (c.kind() == Kind::Line || c.kind() == Kind::Shape ? c.design().borderPixels : 0);
}

// Labels and images take clicks; shapes and lines never do: a click falls
// through them.
inline bool takesClicks(Kind k) { return k == Kind::Label || k == Kind::Image; }

// The front-most shown, enabled label or image of a container under a point
// given in that container's pixels at a scale; nullptr when there is none.
// Within a container the table runs from front to back.
inline Control* lightweightAt(const Controls& controls, std::string_view container, int x, int y,
                              int dpi = kDesignDpi) {
    for (const auto& c : controls.all()) {
        if (c->design().container != container || !takesClicks(c->kind())) continue;
        if (!c->visible() || !c->enabled()) continue;
        if (pixelBox(*c, dpi).contains(x, y)) return c.get();
    }
    return nullptr;
}

// Frames, picture boxes, buttons and lists lie in front of the labels,
// shapes, lines and images of their container (each binding gives them
// windows of their own and stacks them so).
inline bool liesInFront(Kind k) {
    return k == Kind::Frame || k == Kind::PictureBox || k == Kind::Button || k == Kind::ComboBox ||
           k == Kind::ListBox;
}

// Whether a click at the centre of a control's box reaches the control
// itself: no shown frame, picture box, button or list of its container
// lies over that point in front of it, nor a label or image listed before
// it. What the mouse cannot reach there, Tab does not reach either (the
// drawing while the answers cover it).
inline bool frontmostAtCentre(const Controls& controls, const Control& c) {
    const PixelBox b = pixelBox(c);
    const int x = b.x + (b.width - 1) / 2, y = b.y + (b.height - 1) / 2;
    const std::string& container = c.design().container;
    for (const auto& o : controls.all()) {
        if (o.get() == &c) {
            if (liesInFront(c.kind())) return true;  // the rest lies behind it
            continue;
        }
        if (o->design().container != container || !liesInFront(o->kind()) || !o->visible()) continue;
        if (pixelBox(*o).contains(x, y)) return false;
    }
    return lightweightAt(controls, container, x, y) == &c;
}

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
