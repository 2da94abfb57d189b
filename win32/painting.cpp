// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/painting.h"

#include <algorithm>

#include "ui/control_table.h"
#include "ui/focus.h"
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

// A rectangle's outline, `width` pixels wide inside it.
void frameRect(HDC dc, RECT r, COLORREF colour, int width = 1) {
    fill(dc, {r.left, r.top, r.right, r.top + width}, colour);
    fill(dc, {r.left, r.bottom - width, r.right, r.bottom}, colour);
    fill(dc, {r.left, r.top, r.left + width, r.bottom}, colour);
    fill(dc, {r.right - width, r.top, r.right, r.bottom}, colour);
}

void paintFrameBorder(HDC dc, const ControlView& host, SIZE size, int dpi) {
    const ui::Control& c = *host.control;
    // A group box look: an etched border whose top runs through the
    // middle of the caption.
    const std::wstring caption = wide(c.caption());
    const SIZE text = textSize(host.font, caption);
    const int mid = text.cy / 2;
    const int line = ui::scaledPixels(1, dpi);
    frameRect(dc, {0, mid, size.cx - line, size.cy - line}, toColorRef(ui::kEtchShadow), line);
    frameRect(dc, {line, mid + line, size.cx, size.cy}, toColorRef(ui::kEtchLight), line);
    if (caption.empty()) return;
    const int indent = ui::scaledPixels(8, dpi), room = ui::scaledPixels(4, dpi);
    RECT box{indent, 0, indent + text.cx + room, text.cy};
    fill(dc, box, toColorRef(c.backColor()));
    HGDIOBJ old = SelectObject(dc, host.font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &box,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
}

void paintLabel(HDC dc, const ControlView& v, int dpi) {
    const ui::Control& c = *v.control;
    RECT r = pixelRect(c, dpi);
    // A label without a back colour is transparent.
    if (c.design().backColor) fill(dc, r, toColorRef(c.backColor()));
    if (c.caption().empty()) return;
    COLORREF ink = c.design().foreColor ? toColorRef(*c.design().foreColor) : GetSysColor(COLOR_WINDOWTEXT);
    if (!c.enabled()) ink = toColorRef(ui::kDisabledText);
    UINT flags = DT_TOP | DT_NOPREFIX;
    switch (c.design().align) {
    case ui::Align::Left: flags |= DT_LEFT; break;
    case ui::Align::Center: flags |= DT_CENTER; break;
    case ui::Align::Right: flags |= DT_RIGHT; break;
    }
    if (!c.design().autoSize && !v.fitted) flags |= DT_WORDBREAK;
    if (v.fitted) OffsetRect(&r, 0, v.fittedDrop);
    const std::wstring text = wide(c.caption());
    HGDIOBJ old = SelectObject(dc, v.fitted ? v.fitted : v.font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ink);
    const RECT clip = pixelRect(c, dpi);
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
    RestoreDC(dc, saved);
    SelectObject(dc, old);
}

void paintShape(HDC dc, const ControlView& v, int dpi) {
    const ui::Control& c = *v.control;
    const ui::ControlSpec& s = c.design();
    const RECT r = pixelRect(c, dpi);
    const COLORREF border = s.borderColor ? toColorRef(*s.borderColor) : GetSysColor(COLOR_WINDOWTEXT);
    const int bw = ui::scaledPixels(std::max(1, s.borderPixels), dpi);
    switch (s.shape) {
    case ui::ShapeKind::Rectangle:
        // The border lies inside the bounds; a rectangle thinner than two
        // borders (the table's 1px rules) is solid.
        if (r.right - r.left <= 2 * bw || r.bottom - r.top <= 2 * bw) {
            fill(dc, r, border);
        } else {
            fill(dc, {r.left, r.top, r.right, r.top + bw}, border);
            fill(dc, {r.left, r.bottom - bw, r.right, r.bottom}, border);
            fill(dc, {r.left, r.top, r.left + bw, r.bottom}, border);
            fill(dc, {r.right - bw, r.top, r.right, r.bottom}, border);
        }
        break;
    case ui::ShapeKind::RoundedRectangle:
    case ui::ShapeKind::Dot: {
        const bool dot = s.shape == ui::ShapeKind::Dot;
        const COLORREF inside = s.fillColor ? toColorRef(*s.fillColor) : dot ? border : RGB(255, 255, 255);
        HPEN pen = dot ? CreatePen(PS_NULL, 0, 0) : CreatePen(PS_INSIDEFRAME, bw, border);
        HBRUSH brush = CreateSolidBrush(inside);
        HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, brush);
        if (dot) {
            Ellipse(dc, r.left, r.top, r.right + 1, r.bottom + 1);
        } else {
            const int diameter = std::min(r.right - r.left, r.bottom - r.top) / 5;
            RoundRect(dc, r.left, r.top, r.right, r.bottom, diameter, diameter);
        }
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        DeleteObject(pen);
        DeleteObject(brush);
        break;
    }
    case ui::ShapeKind::None:
        break;
    }
}

void paintLine(HDC dc, const ControlView& v, int dpi) {
    const ui::Control& c = *v.control;
    const ui::ControlSpec& s = c.design();
    const COLORREF ink = s.borderColor ? toColorRef(*s.borderColor) : GetSysColor(COLOR_WINDOWTEXT);
    LOGBRUSH brush{BS_SOLID, ink, 0};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND, ui::scaledPixels(std::max(1, s.borderPixels), dpi),
                            &brush, 0, nullptr);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, ui::twipsToPixels(c.left(), dpi), ui::twipsToPixels(c.top(), dpi), nullptr);
    LineTo(dc, ui::twipsToPixels(c.width(), dpi), ui::twipsToPixels(c.height(), dpi));
    SelectObject(dc, old);
    DeleteObject(pen);
}

// The drawing's white is transparent: what lies behind it shows.
constexpr COLORREF kTransparentWhite = RGB(255, 255, 255);

// A picture at its size scaled from the design's pixels to the window's.
void drawPicture(HDC dc, const ControlView& v, int x, int y, int dpi, bool whiteIsClear) {
    HDC src = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(src, v.picture);
    const SIZE& p = v.pictureSize;
    const int w = ui::scaledPixels(p.cx, dpi), h = ui::scaledPixels(p.cy, dpi);
    if (whiteIsClear) {
        TransparentBlt(dc, x, y, w, h, src, 0, 0, p.cx, p.cy, kTransparentWhite);
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

void paintImage(HDC dc, const ControlView& v, int dpi) {
    if (!v.picture) return;  // artwork missing: nothing to show
    const RECT r = pixelRect(*v.control, dpi);
    const std::string& file = v.control->design().picture;
    drawPicture(dc, v, r.left, r.top, dpi, file.size() > 4 && file.compare(file.size() - 4, 4, ".gif") == 0);
}

void paintRing(HDC dc, const RECT& around, int dpi) {
    const ui::PixelBox box{around.left, around.top, around.right - around.left, around.bottom - around.top};
    for (const ui::PixelBox& b : ui::ringBands(box, dpi))
        fill(dc, {b.x, b.y, b.x + b.width, b.y + b.height}, toColorRef(ui::kFocusRing));
}

}  // namespace

void paintScene(const ControlViews& views, const std::string& container, HDC dc, SIZE size, const RECT* ring) {
    if (const ControlView* host = views.find(container)) {
        fill(dc, {0, 0, size.cx, size.cy}, toColorRef(host->control->backColor()));
        if (host->control->kind() == ui::Kind::Frame && host->control->design().bordered)
            paintFrameBorder(dc, *host, size, views.dpi());
    }
    const auto& layer = views.layer(container);
    // Back to front: the table runs front to back.
    for (auto it = layer.rbegin(); it != layer.rend(); ++it) {
        const ControlView& v = **it;
        if (!v.control->visible()) continue;
        switch (v.control->kind()) {
        case ui::Kind::Label: paintLabel(dc, v, views.dpi()); break;
        case ui::Kind::Shape: paintShape(dc, v, views.dpi()); break;
        case ui::Kind::Line: paintLine(dc, v, views.dpi()); break;
        case ui::Kind::Image: paintImage(dc, v, views.dpi()); break;
        default: break;
        }
    }
    if (ring) paintRing(dc, *ring, views.dpi());
}

void paintPictureBox(const ControlViews& views, const ControlView& v, HDC dc, SIZE size) {
    const ControlView* host = views.find(v.control->design().container);
    fill(dc, {0, 0, size.cx, size.cy}, host ? toColorRef(host->control->backColor()) : toColorRef(ui::kLavender));
    if (!v.picture) return;
    const int dpi = views.dpi();
    drawPicture(dc, v, (size.cx - ui::scaledPixels(v.pictureSize.cx, dpi)) / 2,
                (size.cy - ui::scaledPixels(v.pictureSize.cy, dpi)) / 2, dpi, false);
}

namespace {

// Qt's QColor::lighter(140) and darker(200) of the face, in HSV.
COLORREF shade(ui::Color c, int percent) {
    const int mx = std::max({c.r, c.g, c.b});
    if (mx == 0) return percent > 100 ? RGB(percent - 100, percent - 100, percent - 100) : RGB(0, 0, 0);
    int v = mx * percent / 100;
    double scale = static_cast<double>(v) / mx;
    if (v > 255) {
        // Past full brightness the colour pales instead.
        const int pale = v - 255;
        auto up = [&](int x) { return std::min(255, static_cast<int>(x * 255.0 / mx) + pale); };
        return RGB(up(c.r), up(c.g), up(c.b));
    }
    return RGB(static_cast<int>(c.r * scale), static_cast<int>(c.g * scale), static_cast<int>(c.b * scale));
}

}  // namespace

void paintFlatButton(const ControlView& v, HDC dc, SIZE size, bool down, int dpi) {
    const ui::Control& c = *v.control;
    const RECT r{0, 0, size.cx, size.cy};
    fill(dc, r, toColorRef(c.backColor()));
    const COLORREF light = shade(c.backColor(), 140), dark = shade(c.backColor(), 50);
    const int e = ui::scaledPixels(1, dpi);
    fill(dc, {0, 0, size.cx, e}, down ? dark : light);
    fill(dc, {0, 0, e, size.cy}, down ? dark : light);
    fill(dc, {0, size.cy - e, size.cx, size.cy}, down ? light : dark);
    fill(dc, {size.cx - e, 0, size.cx, size.cy}, down ? light : dark);
    const std::wstring text = wide(c.caption());
    RECT box = r;
    if (down) OffsetRect(&box, e, e);
    HGDIOBJ old = SelectObject(dc, v.font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, c.enabled() ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
}

// ---- caption fitting --------------------------------------------------------

namespace {

bool inkFits(HFONT font, const std::wstring& text, ui::Align align, int width, int overhang) {
    int left = 0, right = 0;
    inkSpan(font, text, align, width, left, right);
    return left >= -overhang && right <= width - 1 + overhang;
}

}  // namespace

// A fixed-size label keeps its size, so a caption wider than the label (the
// answer 10000 in a tile) is drawn in a font scaled down just enough for its
// ink to lie inside, on the designed line's vertical centre; clipped,
// "10000" would read "0000". A pixel of edge past the side is left as it
// is, so that every four-digit number in a tile keeps its size.
void fitLabel(ControlView& v, int dpi) {
    ui::Control& c = *v.control;
    if (c.kind() != ui::Kind::Label) return;
    const std::wstring text = wide(c.caption());
    if (c.design().autoSize) {
        // An auto-size label keeps its left and top and takes the size of
        // its caption; the model is told so that the logic sees it.
        const SIZE s = textSize(v.font, text);
        c.fitSize(ui::pixelsToTwips(text.empty() ? 0 : s.cx, dpi), ui::pixelsToTwips(s.cy, dpi));
        return;
    }
    if (v.fitted) {
        DeleteObject(v.fitted);
        v.fitted = nullptr;
    }
    const int width = ui::twipsToPixels(c.width(), dpi);
    const ui::Align align = c.design().align;
    if (text.empty() || width <= 0 || inkFits(v.font, text, align, width, 1)) return;
    const int designed = ui::fontPixels(c.design().font, dpi);
    for (int size = designed - 1; size >= 1; --size) {
        HFONT font = makeFont(c.design().font, size);
        if (inkFits(font, text, align, width, -1) || size == 1) {
            v.fitted = font;
            v.fittedDrop = (textSize(v.font, text).cy - textSize(font, text).cy) / 2;
            return;
        }
        DeleteObject(font);
    }
}

}  // namespace win32
