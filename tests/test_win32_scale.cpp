// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 window at another monitor's scale, over real windows: every
// child window follows the scale, and coming back leaves each one on the
// pixel it had.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <tuple>

#include "ui/control.h"
#include "ui/control_table.h"
#include "win32/form_window.h"

namespace {

using Box = std::tuple<LONG, LONG, LONG, LONG>;  // left, top, width, height in the parent

std::map<std::string, Box> childBoxes(const ui::Controls& controls, const win32::FormWindow& form) {
    std::map<std::string, Box> boxes;
    for (const auto& c : controls.all()) {
        HWND w = c->kind() == ui::Kind::Form ? nullptr : form.windowFor(c->name());
        if (!w) continue;
        RECT r{};
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
        boxes[c->name()] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    }
    return boxes;
}

}  // namespace

TEST(Win32Scale, EveryChildWindowFollowsTheScaleAndComesBackToItsPixel) {
    ui::Controls controls(ui::controlTable());
    // Labels that take clicks get windows: the card, a tile, a mode, the
    // drawing's caption (which takes its caption's size).
    for (const char* name : {"lblClickMe", "lbl1", "lblStandard", "lblQuillaWrites"}) controls[name].handler = [] {};
    win32::FormWindow form(controls, [](ui::Control&) {}, [] {});
    ASSERT_NE(form.hwnd(), nullptr);
    // The tests' prefix has Windows' own 96 dpi.
    ASSERT_EQ(form.dpi(), 96);
    const auto at96 = childBoxes(controls, form);
    ASSERT_GT(at96.size(), 18u);

    form.rescale(192);
    EXPECT_EQ(form.dpi(), 192);
    const auto at192 = childBoxes(controls, form);
    for (const auto& [name, box] : at96) {
        const auto& [x, y, w, h] = box;
        const auto& [x2, y2, w2, h2] = at192.at(name);
        // Within a pixel or two: captions are measured in the new font.
        EXPECT_NEAR(x2, 2 * x, 2) << name;
        EXPECT_NEAR(y2, 2 * y, 2) << name;
        EXPECT_NEAR(w2, 2 * w, 2) << name;
        EXPECT_NEAR(h2, 2 * h, 2) << name;
    }
    // The monitor in twips at 192 dpi: half as many as at 96.
    EXPECT_EQ(form.monitorTwips().cx, GetSystemMetrics(SM_CXSCREEN) * 1440 / 192);

    form.rescale(144);
    form.rescale(96);
    EXPECT_EQ(childBoxes(controls, form), at96);
}
