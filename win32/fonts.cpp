// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/fonts.h"

#include "ui/placement.h"
#include "win32/text.h"

namespace win32 {

HFONT makeFont(const ui::Font& f, int pixels) {
    const std::wstring family = wide(ui::fontFamily(f));
    return CreateFontW(-pixels, 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                       FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, family.c_str());
}

namespace {

// A memory DC for measuring, made once.
HDC measuringDC() {
    static HDC dc = CreateCompatibleDC(nullptr);
    return dc;
}

}  // namespace

SIZE textSize(HFONT font, const std::wstring& text) {
    HDC dc = measuringDC();
    HGDIOBJ old = SelectObject(dc, font);
    SIZE s{};
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    if (!text.empty()) GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &s);
    s.cy = tm.tmHeight;
    SelectObject(dc, old);
    return s;
}

std::pair<int, int> inkSpan(HFONT font, const std::wstring& text) {
    HDC dc = measuringDC();
    HGDIOBJ old = SelectObject(dc, font);
    SIZE s{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &s);
    ABC first{}, last{};
    // TrueType fonts give each glyph's bearings; others count as all ink.
    if (!text.empty()) {
        if (!GetCharABCWidthsW(dc, text.front(), text.front(), &first)) first = ABC{};
        if (!GetCharABCWidthsW(dc, text.back(), text.back(), &last)) last = ABC{};
    }
    SelectObject(dc, old);
    return {first.abcA, s.cx - last.abcC - 1};
}

}  // namespace win32
