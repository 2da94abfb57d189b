// SPDX-License-Identifier: GPL-3.0-or-later
// The panel drawn as large as a screen allows (ui::fittingDpi): at the scale
// it picks, start-up's placement shows all of the panel and its banner, and
// at the next larger one it does not.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "ui/control_table.h"
#include "ui/screen_place.h"
#include "ui/placement.h"

namespace {

struct Extent {
    int left, top, right, bottom;  // pixels: the banner's top to the panel's bottom
};

// Where the panel and banner land at a scale, placed as every binding places them.
Extent placedAt(int dpi, int width, int height) {
    ui::Controls controls(ui::controlTable());
    ui::placeAtStartup(controls, ui::pixelsToTwips(width, dpi), ui::pixelsToTwips(height, dpi));
    const ui::PixelBox panel = ui::pixelBox(controls["Frame1"], dpi);
    const ui::PixelBox banner = ui::pixelBox(controls["lblKidSafe"], dpi);
    return {std::min(panel.x, banner.x), banner.y, std::max(panel.x + panel.width, banner.x + banner.width),
            panel.y + panel.height};
}

bool shows(int dpi, int width, int height) {
    const Extent e = placedAt(dpi, width, height);
    return e.left >= 0 && e.top >= 0 && e.right <= width && e.bottom <= height;
}

int fit(int width, int height) {
    const ui::Controls controls(ui::controlTable());
    return ui::fittingDpi(controls, width, height);
}

TEST(ScreenFit, TheLargestScaleAtWhichAllOfThePanelShows) {
    const std::vector<std::pair<int, int>> screens = {
        {390, 844}, {844, 390}, {1024, 768}, {768, 1024}, {1920, 1080}, {1080, 1920}, {3840, 2160},
        {785, 667}, {800, 672}, {320, 240}, {1366, 768}, {2560, 1600}, {360, 640}, {1280, 800}};
    for (const auto& [w, h] : screens) {
        const int dpi = fit(w, h);
        EXPECT_TRUE(shows(dpi, w, h)) << w << "x" << h << " at " << dpi;
        EXPECT_FALSE(shows(dpi + 1, w, h)) << w << "x" << h << " at " << dpi + 1;
        EXPECT_FALSE(shows(dpi + 2, w, h)) << w << "x" << h << " at " << dpi + 2;
    }
}

TEST(ScreenFit, TheDesignsScaleOnAScreenJustLargerThanThePanelAndTheSidesThatBind) {
    // The panel is 785 pixels wide; centred with the banner's 41 above it
    // and as many below, it needs 667 pixels of height, give or take the rounding.
    EXPECT_EQ(fit(785, 667), ui::kDesignDpi);
    EXPECT_EQ(fit(800, 672), ui::kDesignDpi);
    EXPECT_LT(fit(784, 667), ui::kDesignDpi);
    EXPECT_LT(fit(785, 665), ui::kDesignDpi);  // 666 rounds the banner's top to the screen's edge
    // Portrait screens are bound by their width, wide ones by their height.
    EXPECT_EQ(fit(390, 844), fit(390, 4000));
    EXPECT_EQ(fit(1920, 1080), fit(8000, 1080));
    // A screen twice the size takes twice the scale, give or take the rounding.
    EXPECT_NEAR(fit(1570, 1334), 2 * ui::kDesignDpi, 1);
}

TEST(ScreenFit, AScreenTooSmallForAnyScaleStillGetsOne) {
    EXPECT_EQ(fit(1, 1), 1);
    EXPECT_EQ(fit(0, 0), 1);
}

}  // namespace
