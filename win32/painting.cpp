// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/painting.h"

#include <optional>

#include "ui/control_table.h"
#include "ui/focus.h"
#include "ui/look.h"
#include "ui/placement.h"
#include "win32/fonts.h"
#include "win32/text.h"
#include "win32/views.h"

namespace win32 {

COLORREF toColorRef(ui::Color c) {
    if (c.windowText) return GetSysColor(COLOR_WINDOWTEXT);
    return RGB(c.r, c.g, c.b);
}

namespace {

void fill(HDC dc, const RECT& r, COLORREF colour) {
    // ExtTextOut with an opaque background fills without making a brush.
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void fill(HDC dc, const ui::Rect& r, ui::Color colour) { fill(dc, toRECT(r), toColorRef(colour)); }

void text(HDC dc, HFONT font, COLORREF ink, const std::string& caption, RECT box, UINT flags) {
    const std::wstring w = wide(caption);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ink);
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &box, flags | DT_NOPREFIX);
    SelectObject(dc, old);
}

void paintFrame(HDC dc, const ControlView& host, SIZE size, int dpi) {
    const ui::Control& c = *host.control;
    ui::FrameLook look = ui::frameLook(c, size.cx, size.cy, 0, 0, dpi);
    fill(dc, ui::Rect{0, 0, size.cx, size.cy}, look.back);
    if (!look.etched) return;
    const SIZE extent = textSize(host.font, wide(c.caption()));
    look = ui::frameLook(c, size.cx, size.cy, extent.cx, extent.cy, dpi);
    for (const ui::Rect& bar : ui::borderBars(look.shadow, look.line)) fill(dc, bar, look.shadowColor);
    for (const ui::Rect& bar : ui::borderBars(look.light, look.line)) fill(dc, bar, look.lightColor);
    if (c.caption().empty()) return;
    fill(dc, look.caption, look.back);
    text(dc, host.font, toColorRef(look.captionInk), c.caption(), toRECT(look.caption), DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void paintLabel(HDC dc, const ControlView& v, int dpi) {
    const ui::Control& c = *v.control;
    const RECT r = pixelRect(c, dpi);
    // A new scale drops the fitted fonts until the labels are fitted again.
    const ui::LabelLook look = ui::labelLook(c, v.fitted ? v.fit : ui::CaptionFit{}, dpi);
    if (look.fill) fill(dc, r, toColorRef(*look.fill));
    if (c.caption().empty()) return;
    UINT flags = DT_TOP | (look.wrap ? DT_WORDBREAK : 0);
    switch (look.align) {
    case ui::Align::Left: flags |= DT_LEFT; break;
    case ui::Align::Center: flags |= DT_CENTER; break;
    case ui::Align::Right: flags |= DT_RIGHT; break;
    }
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    text(dc, v.fitted ? v.fitted : v.font, toColorRef(look.ink), c.caption(), toRECT(look.text), flags);
    RestoreDC(dc, saved);
}

void paintShape(HDC dc, const ControlView& v, int dpi) {
    const ui::ShapeLook look = ui::shapeLook(*v.control, dpi);
    const RECT r = pixelRect(*v.control, dpi);
    if (look.shape == ui::ShapeKind::Rectangle) {
        for (const ui::Rect& bar : ui::borderBars({r.left, r.top, r.right, r.bottom}, look.borderWidth))
            fill(dc, bar, look.border);
        return;
    }
    if (look.shape == ui::ShapeKind::None) return;
    const bool dot = look.shape == ui::ShapeKind::Dot;
    HPEN pen = dot ? CreatePen(PS_NULL, 0, 0) : CreatePen(PS_INSIDEFRAME, look.borderWidth, toColorRef(look.border));
    HBRUSH brush = CreateSolidBrush(toColorRef(look.fill));
    HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
    if (dot) {
        Ellipse(dc, r.left, r.top, r.right + 1, r.bottom + 1);
    } else {
        const int diameter = static_cast<int>(2 * ui::cornerRadius(r.right - r.left, r.bottom - r.top));
        RoundRect(dc, r.left, r.top, r.right, r.bottom, diameter, diameter);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

void paintLine(HDC dc, const ControlView& v, int dpi) {
    const ui::LineLook look = ui::lineLook(*v.control, dpi);
    LOGBRUSH brush{BS_SOLID, toColorRef(look.ink), 0};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND, look.width, &brush, 0, nullptr);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, look.x1, look.y1, nullptr);
    LineTo(dc, look.x2, look.y2);
    SelectObject(dc, old);
    DeleteObject(pen);
}

// A picture at its size scaled from the design's pixels to the window's,
// its clear colour (if any) showing what lies behind.
void drawPicture(HDC dc, const ControlView& v, int x, int y, int dpi, std::optional<ui::Color> clear) {
    HDC src = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(src, v.picture);
    const SIZE& p = v.pictureSize;
    const int w = ui::scaledPixels(p.cx, dpi), h = ui::scaledPixels(p.cy, dpi);
    if (clear) {
        TransparentBlt(dc, x, y, w, h, src, 0, 0, p.cx, p.cy, toColorRef(*clear));
    } else if (w == p.cx && h == p.cy) {
        BitBlt(dc, x, y, w, h, src, 0, 0, SRCCOPY);
    } else {
        const int mode = SetStretchBltMode(dc, HALFTONE);
        POINT origin{};
        SetBrushOrgEx(dc, 0, 0, &origin);
        StretchBlt(dc, x, y, w, h, src, 0, 0, p.cx, p.cy, SRCCOPY);
        SetBrushOrgEx(dc, origin.x, origin.y, nullptr);
        SetStretchBltMode(dc, mode);
    }
    SelectObject(src, old);
    DeleteDC(src);
}

void paintRing(HDC dc, const RECT& around, int dpi) {
    const ui::PixelBox box{around.left, around.top, around.right - around.left, around.bottom - around.top};
    for (const ui::PixelBox& b : ui::ringBands(box, dpi))
        fill(dc, {b.x, b.y, b.x + b.width, b.y + b.height}, toColorRef(ui::kFocusRing));
}

}  // namespace

void paintScene(const ControlViews& views, const std::string& container, HDC dc, SIZE size, const RECT* ring) {
    if (const ControlView* host = views.find(container)) paintFrame(dc, *host, size, views.dpi());
    const auto& layer = views.layer(container);
    // Back to front: the table runs front to back.
    for (auto it = layer.rbegin(); it != layer.rend(); ++it) {
        const ControlView& v = **it;
        if (!v.control->visible()) continue;
        switch (v.control->kind()) {
        case ui::Kind::Label: paintLabel(dc, v, views.dpi()); break;
        case ui::Kind::Shape: paintShape(dc, v, views.dpi()); break;
        case ui::Kind::Line: paintLine(dc, v, views.dpi()); break;
        case ui::Kind::Image:
            if (!v.picture) break;  // artwork missing: nothing to show
            drawPicture(dc, v, pixelRect(*v.control, views.dpi()).left, pixelRect(*v.control, views.dpi()).top,
                        views.dpi(), ui::clearColor(*v.control));
            break;
        default: break;
        }
    }
    if (ring) paintRing(dc, *ring, views.dpi());
}

void paintPictureBox(const ControlViews& views, const ControlView& v, HDC dc, SIZE size) {
    fill(dc, ui::Rect{0, 0, size.cx, size.cy}, ui::pictureBoxBack(views.controls(), *v.control));
    if (!v.picture) return;
    const int dpi = views.dpi();
    const ui::Rect at =
        ui::centred(size.cx, size.cy, ui::scaledPixels(v.pictureSize.cx, dpi), ui::scaledPixels(v.pictureSize.cy, dpi));
    drawPicture(dc, v, at.left, at.top, dpi, std::nullopt);
}

void paintFlatButton(const ControlView& v, HDC dc, SIZE size, bool down, int dpi) {
    const ui::ButtonLook look = ui::buttonLook(*v.control, down, size.cx, size.cy, dpi);
    fill(dc, ui::Rect{0, 0, size.cx, size.cy}, look.face);
    for (const auto& [edge, colour] : look.edges) fill(dc, edge, colour);
    text(dc, v.font, GetSysColor(look.greyed ? COLOR_GRAYTEXT : COLOR_BTNTEXT), v.control->caption(),
         {look.sink, look.sink, size.cx + look.sink, size.cy + look.sink}, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

namespace {

// A label's font at any pixel size, measured on GDI; its font at the
// designed size is the view's own.
class Measure : public ui::TextMeasure {
public:
    Measure(const ui::Font& font, HFONT designed, int pixels) : font_(font), designed_(designed), pixels_(pixels) {}
    ui::TextSize size(int pixels, const std::string& caption) const override {
        HFONT font = at(pixels);
        const SIZE s = textSize(font, wide(caption));
        done(font);
        return {s.cx, s.cy};
    }
    ui::TextInk ink(int pixels, const std::string& caption) const override {
        HFONT font = at(pixels);
        const std::wstring w = wide(caption);
        const SIZE s = textSize(font, w);
        const auto [left, right] = inkSpan(font, w);
        done(font);
        return {s.cx, left, right, s.cy};
    }

private:
    HFONT at(int pixels) const { return pixels == pixels_ ? designed_ : makeFont(font_, pixels); }
    void done(HFONT font) const {
        if (font != designed_) DeleteObject(font);
    }
    const ui::Font& font_;
    HFONT designed_;
    int pixels_;
};

}  // namespace

void fitLabel(ControlView& v, int dpi) {
    const ui::Control& c = *v.control;
    const int designed = ui::fontPixels(c.design().font, dpi);
    v.fit = ui::fitLabel(*v.control, designed, Measure(c.design().font, v.font, designed), dpi);
    if (v.fitted) DeleteObject(v.fitted);
    v.fitted = v.fit.shrunk ? makeFont(c.design().font, v.fit.pixels) : nullptr;
}

}  // namespace win32
