// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/look.h"

#include <algorithm>
#include <cmath>

#include "ui/control_table.h"

namespace ui {

Rect drawnRect(const Control& c, int dpi) {
    if (c.kind() == Kind::Line) {
        // left/top/width/height hold x1, y1, x2, y2.
        const int x1 = twipsToPixels(c.left(), dpi), y1 = twipsToPixels(c.top(), dpi);
        const int x2 = twipsToPixels(c.width(), dpi), y2 = twipsToPixels(c.height(), dpi);
        return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1};
    }
    const PixelBox b = pixelBox(c, dpi);
    return {b.x, b.y, b.x + b.width, b.y + b.height};
}

Rect paintBounds(const Control& c, int dpi) {
    const Rect r = drawnRect(c, dpi);
    const int margin = scaledPixels(paintMargin(c), dpi);
    return {r.left - margin, r.top - margin, r.right + margin, r.bottom + margin};
}

std::vector<Rect> borderBars(const Rect& r, int width) {
    if (r.right - r.left <= 2 * width || r.bottom - r.top <= 2 * width) return {r};
    return {{r.left, r.top, r.right, r.top + width},
            {r.left, r.bottom - width, r.right, r.bottom},
            {r.left, r.top, r.left + width, r.bottom},
            {r.right - width, r.top, r.right, r.bottom}};
}

LabelLook labelLook(const Control& label, const CaptionFit& fit, int dpi) {
    const ControlSpec& s = label.design();
    LabelLook look;
    if (s.backColor) look.fill = label.backColor();
    look.ink = !label.enabled() ? kDisabledText : s.foreColor.value_or(kWindowText);
    look.align = s.align;
    // An auto-size label is as wide as its one line; a fitted caption is
    // made small so that it stays on one.
    look.wrap = !s.autoSize && !fit.shrunk;
    look.text = drawnRect(label, dpi);
    if (fit.shrunk) look.text.top += fit.drop, look.text.bottom += fit.drop;
    return look;
}

ShapeLook shapeLook(const Control& shape, int dpi) {
    const ControlSpec& s = shape.design();
    ShapeLook look;
    look.shape = s.shape;
    look.border = s.borderColor.value_or(kWindowText);
    look.borderWidth = scaledPixels(std::max(1, s.borderPixels), dpi);
    // A card is white inside unless told otherwise; a dot is solid.
    look.fill = s.fillColor.value_or(s.shape == ShapeKind::Dot ? look.border : kWhite);
    return look;
}

double cornerRadius(double width, double height) { return std::min(width, height) / 10.0; }

LineLook lineLook(const Control& line, int dpi) {
    const ControlSpec& s = line.design();
    return {s.borderColor.value_or(kWindowText), scaledPixels(std::max(1, s.borderPixels), dpi),
            twipsToPixels(line.left(), dpi), twipsToPixels(line.top(), dpi), twipsToPixels(line.width(), dpi),
            twipsToPixels(line.height(), dpi)};
}

FrameLook frameLook(const Control& frame, int width, int height, int captionWidth, int captionHeight, int dpi) {
    FrameLook look;
    look.back = frame.backColor();
    look.etched = frame.kind() == Kind::Frame && frame.design().bordered;
    const int line = scaledPixels(1, dpi), mid = captionHeight / 2;
    look.line = line;
    look.shadow = {0, mid, width - line, height - line};
    look.light = {line, mid + line, width, height};
    look.shadowColor = kEtchShadow;
    look.lightColor = kEtchLight;
    if (!frame.caption().empty()) {
        const int indent = scaledPixels(8, dpi);
        look.caption = {indent, 0, indent + captionWidth + scaledPixels(4, dpi), captionHeight};
    }
    look.captionInk = kWindowText;
    return look;
}

ButtonLook buttonLook(const Control& button, bool down, int width, int height, int dpi) {
    ButtonLook look;
    look.face = button.backColor();
    const Color light = lighter(look.face, 140), dark = darker(look.face, 200);
    const Color topLeft = down ? dark : light, bottomRight = down ? light : dark;
    const int e = scaledPixels(1, dpi);
    look.edges[0] = {{0, 0, width, e}, topLeft};
    look.edges[1] = {{0, 0, e, height}, topLeft};
    look.edges[2] = {{0, height - e, width, height}, bottomRight};
    look.edges[3] = {{width - e, 0, width, height}, bottomRight};
    look.sink = down ? e : 0;
    look.greyed = !button.enabled();
    return look;
}

// ---- shades -----------------------------------------------------------------

namespace {

// A colour in HSV with sixteen bits a channel and hue in hundredths of a
// degree (none: grey), rounded at each step as the shades on Linux are, so
// that both desktops draw the same edge.
struct Hsv {
    int hue = -1;
    int saturation = 0;
    int value = 0;
};

constexpr int kFull = 65535;

int round16(float x) { return static_cast<int>(std::lround(x * kFull)); }

Hsv toHsv(Color c) {
    const float r = c.r * 257 / float(kFull), g = c.g * 257 / float(kFull), b = c.b * 257 / float(kFull);
    const float mx = std::max({r, g, b}), mn = std::min({r, g, b}), delta = mx - mn;
    Hsv hsv;
    hsv.value = round16(mx);
    if (delta == 0.0f) return hsv;
    hsv.saturation = round16(delta / mx);
    float hue = r == mx ? (g - b) / delta : g == mx ? 2.0f + (b - r) / delta : 4.0f + (r - g) / delta;
    hue *= 60.0f;
    if (hue < 0.0f) hue += 360.0f;
    hsv.hue = static_cast<int>(std::lround(hue * 100.0f));
    return hsv;
}

// Sixteen bits to eight, rounded.
std::uint8_t to8(int x) { return static_cast<std::uint8_t>((x + 0x80 - ((x + 0x80) >> 8)) >> 8); }

Color toRgb(const Hsv& c) {
    if (c.saturation == 0 || c.hue < 0) return {to8(c.value), to8(c.value), to8(c.value)};
    const float h = c.hue == 36000 ? 0.0f : c.hue / 6000.0f;
    const float s = c.saturation / float(kFull), v = c.value / float(kFull);
    const int i = static_cast<int>(h);
    const float f = h - i, p = v * (1.0f - s), q = v * (1.0f - s * f), t = v * (1.0f - s * (1.0f - f));
    float r = v, g = t, b = p;
    switch (i) {
    case 1: r = q, g = v, b = p; break;
    case 2: r = p, g = v, b = t; break;
    case 3: r = p, g = q, b = v; break;
    case 4: r = t, g = p, b = v; break;
    case 5: r = v, g = p, b = q; break;
    default: break;
    }
    return {to8(round16(r)), to8(round16(g)), to8(round16(b))};
}

}  // namespace

Color lighter(Color c, int percent) {
    Hsv hsv = toHsv(c);
    int v = hsv.value * percent / 100;
    if (v > kFull) {
        // Past full brightness the colour pales instead.
        hsv.saturation = std::max(0, hsv.saturation - (v - kFull));
        v = kFull;
    }
    hsv.value = v;
    return toRgb(hsv);
}

Color darker(Color c, int percent) {
    Hsv hsv = toHsv(c);
    hsv.value = hsv.value * 100 / percent;
    return toRgb(hsv);
}

std::optional<Color> clearColor(const Control& image) { return image.design().clearColor; }

void fitPicture(Control& image, int width, int height) {
    if (image.kind() == Kind::Image) image.fitSize(pixelsToTwips(width), pixelsToTwips(height));
}

Color pictureBoxBack(const Controls& controls, const Control& box) {
    const Control* host = controls.find(box.design().container);
    return host ? host->backColor() : kLavender;
}

Rect centred(int boxWidth, int boxHeight, int w, int h) {
    const int x = (boxWidth - w) / 2, y = (boxHeight - h) / 2;
    return {x, y, x + w, y + h};
}

// ---- caption fitting --------------------------------------------------------

namespace {

// Whether a caption's ink lies inside a label of the given width, reaching
// past each side by at most `overhang` pixels (negative: kept that far in).
bool inkFits(const TextInk& e, Align align, int width, int overhang) {
    int x = 0;
    if (align == Align::Right)
        x = width - e.advance;
    else if (align == Align::Center)
        x = (width - e.advance) / 2;
    return x + e.left >= -overhang && x + e.right <= width - 1 + overhang;
}

}  // namespace

// A fixed-size label keeps its size, so a caption wider than the label (the
// answer 10000 in the card's answer or in a tile) is drawn in a font scaled
// down just enough for its ink to lie a pixel clear of each side, on the
// designed line's vertical centre; clipped, "10000" would read "0000".
// Captions that fit keep the designed font. A pixel of antialiased edge past
// the side is left as it is, so that every four-digit number in a tile keeps
// its size. The search starts from the size the ink's width suggests.
CaptionFit fitLabel(Control& label, int designed, const TextMeasure& measure, int dpi) {
    CaptionFit fit;
    if (label.kind() != Kind::Label) return fit;
    const std::string& text = label.caption();
    if (label.design().autoSize) {
        const TextSize size = measure.size(designed, text);
        label.fitSize(pixelsToTwips(text.empty() ? 0 : size.width, dpi), pixelsToTwips(size.height, dpi));
        return fit;
    }
    const int width = twipsToPixels(label.width(), dpi);
    const Align align = label.design().align;
    if (text.empty() || width <= 0) return fit;
    const TextInk full = measure.ink(designed, text);
    if (inkFits(full, align, width, 1)) return fit;
    int size = std::min(designed - 1, designed * width / std::max(1, full.right - full.left + 1) + 1);
    TextInk small;
    for (; size > 1; --size) {
        small = measure.ink(size, text);
        if (inkFits(small, align, width, -1)) break;
    }
    size = std::max(1, size);
    if (size == 1) small = measure.ink(1, text);
    fit.shrunk = true;
    fit.pixels = size;
    fit.drop = (full.line - small.line) / 2;
    return fit;
}

}  // namespace ui
