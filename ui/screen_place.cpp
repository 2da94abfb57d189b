// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/screen_place.h"

#include <algorithm>
#include <cmath>

#include "ui/placement.h"

namespace ui {

namespace {

struct StartupPlace {
    int panelLeft, panelTop, bannerTop;  // twips
};

StartupPlace startupPlace(const Control& panel, const Control& banner, int screenWidthTwips, int screenHeightTwips) {
    const int left = static_cast<int>(std::lround(screenWidthTwips / 2.0 - panel.width() / 2.0));
    const int top = static_cast<int>(std::lround(screenHeightTwips / 2.0 - panel.height() / 2.0));
    return {left, top, top - banner.height()};
}

}  // namespace

void placeAtStartup(Controls& controls, int screenWidthTwips, int screenHeightTwips) {
    Control& panel = controls["Frame1"];
    Control& banner = controls["lblKidSafe"];
    const StartupPlace at = startupPlace(panel, banner, screenWidthTwips, screenHeightTwips);
    panel.setLeft(at.panelLeft);
    panel.setTop(at.panelTop);
    banner.setLeft(at.panelLeft);
    banner.setTop(at.bannerTop);
}

int fittingDpi(const Controls& controls, int screenWidthPixels, int screenHeightPixels) {
    const Control& panel = controls["Frame1"];
    const Control& banner = controls["lblKidSafe"];
    // Judged in the pixels the bindings draw, rounding included.
    const auto fits = [&](int dpi) {
        const StartupPlace at = startupPlace(panel, banner, pixelsToTwips(screenWidthPixels, dpi),
                                             pixelsToTwips(screenHeightPixels, dpi));
        const int left = twipsToPixels(at.panelLeft, dpi), top = twipsToPixels(at.panelTop, dpi);
        return left >= 0 && twipsToPixels(at.bannerTop, dpi) >= 0 &&
               left + twipsToPixels(panel.width(), dpi) <= screenWidthPixels &&
               top + twipsToPixels(panel.height(), dpi) <= screenHeightPixels;
    };
    // No scale past the one at which the panel alone is as wide as the screen fits.
    const long long widest = static_cast<long long>(screenWidthPixels) * kTwipsPerInch / std::max(1, panel.width()) + 1;
    for (int dpi = static_cast<int>(std::min<long long>(widest, 1 << 20)); dpi > 1; --dpi)
        if (fits(dpi)) return dpi;
    return 1;
}

}  // namespace ui
