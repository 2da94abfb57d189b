// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ui/control_table.h"
#include "ui/placement.h"

namespace {

struct CountingTimer final : ui::TimerPort {
    void start(int ms) override { starts.push_back(ms); }
    void stop() override { ++stops; }
    std::vector<int> starts;
    int stops = 0;
};

}  // namespace

TEST(ControlModel, ASelectionByTheProgramRaisesTheHandlerBeforeReturning) {
    ui::Controls controls(ui::controlTable());
    auto& box = controls["cmbMaxNum"];
    std::vector<int> seen;
    box.handler = [&] { seen.push_back(box.selectedIndex()); };
    box.select(9);
    ASSERT_EQ(seen, std::vector<int>{9});  // already ran, with the new index
    box.select(9);                         // the same entry again still raises
    EXPECT_EQ(seen.size(), 2u);
    box.setSelectedIndex(3);               // the binding's record of a pick: silent
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(box.itemText(box.selectedIndex()), "6");
    EXPECT_EQ(box.itemText(-1), "");
    box.select(99);                        // out of range: ignored
    EXPECT_EQ(box.selectedIndex(), 3);
}

TEST(ControlModel, ListSelectionMarksClear) {
    ui::Controls controls(ui::controlTable());
    auto& list = controls["lstTimer"];
    list.setSelectedIndex(2);
    list.clearSelectionMark(1);
    EXPECT_EQ(list.selectedIndex(), 2);
    list.clearSelectionMark(2);
    EXPECT_EQ(list.selectedIndex(), -1);
}

TEST(ControlModel, TimerRestartsItsCountdownWhenTheIntervalIsSet) {
    ui::Controls controls(ui::controlTable());
    auto& t = controls["Timer1"];
    CountingTimer port;
    t.attachTimer(&port);
    t.setInterval(3000);  // disabled: nothing runs
    EXPECT_TRUE(port.starts.empty());
    t.setEnabled(true);
    t.setEnabled(true);  // already on: no restart
    t.setInterval(2000);
    t.setInterval(2000);  // setting the same interval restarts too
    EXPECT_EQ(port.starts, (std::vector<int>{3000, 2000, 2000}));
    const int stops = port.stops;
    t.setEnabled(false);
    EXPECT_EQ(port.stops, stops + 1);
    t.setInterval(1000);  // a disabled timer stays quiet
    EXPECT_EQ(port.starts.size(), 3u);
}

TEST(ControlModel, FocusIsRefusedWhileTheButtonIsHidden) {
    ui::Controls controls(ui::controlTable());
    auto& b = controls["cmdDummy"];
    EXPECT_TRUE(b.setFocus());
    b.setVisible(false);
    EXPECT_FALSE(b.setFocus());
}

TEST(ControlTable, EveryControlOnceInAKnownContainer) {
    const auto& table = ui::controlTable();
    std::set<std::string> names;
    std::map<std::string, std::vector<std::string>> byContainer;
    for (const auto& c : table) {
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
        byContainer[c.container].push_back(c.name);
    }
    EXPECT_EQ(table.size(), 59u);
    // Front to back within each container.
    EXPECT_EQ(byContainer["frmSplash"], (std::vector<std::string>{"cmdDummy", "Timer1", "Frame1", "lblKidSafe"}));
    EXPECT_EQ(byContainer["frmSet"], (std::vector<std::string>{"cmbMaxNum", "cmbMinNum"}));
    EXPECT_EQ(byContainer["frameChoices"],
              (std::vector<std::string>{"Label4", "lbl5", "lbl6", "lbl3", "lbl4", "lbl2", "lbl1"}));
    EXPECT_EQ(byContainer["frameTimer"], (std::vector<std::string>{"lstTimer"}));
    const auto& panel = byContainer["Frame1"];
    ASSERT_EQ(panel.size(), 44u);
    EXPECT_EQ(panel.front(), "Command1");
    EXPECT_EQ(panel.back(), "Image1");
    auto pos = [&](const char* n) { return std::find(panel.begin(), panel.end(), n) - panel.begin(); };
    // The click surfaces lie in front of what they cover.
    EXPECT_LT(pos("lblClickMe"), pos("lbln1"));
    EXPECT_LT(pos("lblClickMe"), pos("shpFlash"));
    EXPECT_LT(pos("lblStandard"), pos("Label6"));
    EXPECT_LT(pos("lblStandard"), pos("Image4"));
    EXPECT_LT(pos("img123"), pos("lblQuillaWrites"));
    for (const auto& c : table) {
        if (!c.container.empty()) {
            EXPECT_TRUE(names.count(c.container)) << c.name;
        }
    }
}

TEST(ControlTable, GeometryCaptionsAndCreationFlags) {
    ui::Controls controls(ui::controlTable());
    struct Expect {
        const char* name;
        int l, t, w, h;
        const char* caption;
        bool visible;
    };
    const Expect rows[] = {
        {"Frame1", 480, 1680, 11775, 8775, "", true},
        {"lblKidSafe", 480, 960, 11775, 615, "Kid Safe And Completely Free", true},
        {"cmdDummy", 12480, 2400, 1380, 615, "cdmDummy", true},
        {"Command1", 7200, 7560, 3975, 735, "Close Program", true},
        {"lblClickMe", 2160, 1200, 4575, 6555, "", true},
        {"lbln1", 3855, 1275, 1440, 1635, "99", false},
        {"lbln3", 2175, 4845, 3120, 1635, "9999", false},
        {"lblTimerStatus", 3435, 6795, 2055, 285, "waiting 3 seconds ...", true},
        {"frameChoices", 7170, 1950, 4545, 5430, "Frame1", false},
        {"frameTimer", 285, 3795, 1485, 2415, " timer (secs)", true},
        {"Picture2", 510, 6630, 1035, 915, "", false},
        {"shpAddition", 7260, 555, 120, 120, "", true},
        {"shpDivision", 8940, 555, 120, 120, "", false},
        {"ShapeStandard", 150, 2430, 120, 120, "", true},
        {"shpFlash", 2040, 1080, 4695, 6765, "", true},
        {"lbl1", 60, 720, 1860, 1215, "", true},
        {"lstTimer", 165, 345, 1155, 1785, "", true},
        {"lblQuillaWrites", 9240, 4980, 1590, 270, "Quilla writes ...", true},
    };
    for (const auto& e : rows) {
        const auto& c = controls[e.name];
        EXPECT_EQ(c.left(), e.l) << e.name;
        EXPECT_EQ(c.top(), e.t) << e.name;
        EXPECT_EQ(c.width(), e.w) << e.name;
        EXPECT_EQ(c.height(), e.h) << e.name;
        EXPECT_EQ(c.caption(), e.caption) << e.name;
        EXPECT_EQ(c.visible(), e.visible) << e.name;
    }
    EXPECT_FALSE(controls["Timer1"].enabled());
    EXPECT_EQ(controls["Timer1"].interval(), 0);
    EXPECT_EQ(controls["cmbMaxNum"].itemCount(), 22);
    EXPECT_EQ(controls["cmbMaxNum"].itemText(9), "12");
    EXPECT_EQ(controls["cmbMinNum"].itemCount(), 20);
    EXPECT_EQ(controls["cmbMinNum"].itemText(19), "90");
    EXPECT_EQ(controls["lstTimer"].itemCount(), 5);
    EXPECT_EQ(controls["cmbMinNum"].selectedIndex(), -1);
    EXPECT_EQ(controls["Command1"].design().tooltip, "Click to close program.");
    EXPECT_EQ(controls["Command1"].design().font.points, 15.75);
    EXPECT_TRUE(controls["Command1"].design().font.bold);
    EXPECT_EQ(controls["lbln1"].design().font.family, "Times New Roman");
    EXPECT_EQ(controls["lbln1"].design().align, ui::Align::Right);
    EXPECT_TRUE(controls["lbln1"].design().autoSize);
    EXPECT_FALSE(controls["lbln3"].design().autoSize);
    EXPECT_FALSE(controls["lblClickMe"].design().backColor.has_value());  // transparent
    EXPECT_EQ(controls["lbl5"].backColor(), ui::kWhite);
    EXPECT_EQ(controls["Label1"].design().foreColor, ui::kDarkGreen);
    EXPECT_EQ(controls["Line1"].design().borderPixels, 6);
    EXPECT_EQ(controls["Line1"].width(), 5400);  // a line keeps x2 here
}

// What a click at a control's centre reaches, the keyboard reaches: the
// windows of frames, pictures and lists lie in front of labels and images,
// and within each group the table runs front to back.
TEST(ControlTable, WhatLiesInFrontAtAControlsCentre) {
    ui::Controls controls(ui::controlTable());
    EXPECT_TRUE(ui::frontmostAtCentre(controls, controls["lblClickMe"]));
    EXPECT_TRUE(ui::frontmostAtCentre(controls, controls["img123"]));
    controls["frameChoices"].setVisible(true);  // the answers cover the drawing
    EXPECT_FALSE(ui::frontmostAtCentre(controls, controls["img123"]));
    EXPECT_FALSE(ui::frontmostAtCentre(controls, controls["lblQuillaWrites"]));
    EXPECT_TRUE(ui::frontmostAtCentre(controls, controls["lbl1"]));
    // The mode button's caption lies behind the mode's click surface.
    EXPECT_TRUE(ui::frontmostAtCentre(controls, controls["lblInteractive"]));
    EXPECT_FALSE(ui::frontmostAtCentre(controls, controls["Label10"]));
    // Of the two loudspeakers at one place, the one listed first is in front.
    controls["Picture2"].setVisible(true);
    EXPECT_TRUE(ui::frontmostAtCentre(controls, controls["Picture1"]));
    EXPECT_FALSE(ui::frontmostAtCentre(controls, controls["Picture2"]));
    controls["Picture1"].setVisible(false);
    EXPECT_TRUE(ui::frontmostAtCentre(controls, controls["Picture2"]));
}

TEST(Placement, TwipsFollowTheScreensScale) {
    // At the design's 96 dpi, 15 twips to the pixel, the halves rounding up
    // (away from zero for negative places).
    for (int twips = -3000; twips <= 3000; ++twips) {
        const int half = twips >= 0 ? (twips + 7) / 15 : -((-twips + 7) / 15);
        ASSERT_EQ(ui::twipsToPixels(twips), half) << twips;
    }
    // The panel at 144 and 192 dpi: 1.5 and 2 times its 785 x 585 pixels.
    EXPECT_EQ(ui::twipsToPixels(11775, 144), 1178);
    EXPECT_EQ(ui::twipsToPixels(8775, 144), 878);
    EXPECT_EQ(ui::twipsToPixels(11775, 192), 1570);
    // A screen of 1920 pixels is 28800 twips at 96 dpi, 19200 at 144.
    EXPECT_EQ(ui::pixelsToTwips(1920), 28800);
    EXPECT_EQ(ui::pixelsToTwips(1920, 144), 19200);
    EXPECT_EQ(ui::fontPixels(ui::Font{"Comic Sans MS", 12}, 144), 24);
    EXPECT_EQ(ui::fontPixels(ui::Font{"Comic Sans MS", 9.75}), 13);
    // The focus ring's 3 pixels and the hit test follow the scale too.
    EXPECT_EQ(ui::scaledPixels(3, 144), 5);
    EXPECT_EQ(ui::scaledPixels(3, 96), 3);
    ui::Controls controls(ui::controlTable());
    const ui::PixelBox card = ui::pixelBox(controls["lblClickMe"], 192);
    EXPECT_EQ(ui::lightweightAt(controls, "Frame1", card.x + card.width - 2, card.y + 2, 192),
              &controls["lblClickMe"]);
    EXPECT_NE(ui::lightweightAt(controls, "Frame1", card.x + card.width - 2, card.y + 2), &controls["lblClickMe"]);
}
