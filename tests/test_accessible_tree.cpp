// SPDX-License-Identifier: GPL-3.0-or-later
// The tree every binding offers a screen reader, on a small window of the
// design's own names: what stands in it, what is offered now, the states,
// what a point finds, and what each change of the model tells a listener.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testbed/design_rows.h"
#include "ui/accessibility.h"
#include "ui/accessible_tree.h"

namespace {

using ui::AccessibleEvent;
using ui::Change;
using ui::Kind;

using testbed::designRow;

std::vector<ui::ControlSpec> window() {
    std::vector<ui::ControlSpec> w = {
        designRow("frmSplash", Kind::Form, "", 0, 0, 12000, 9000),
        designRow("Frame1", Kind::Frame, "frmSplash", 0, 0, 12000, 9000),
        designRow("lblClickMe", Kind::Label, "Frame1", 2000, 1000, 4000, 6000),
        designRow("Label3", Kind::Label, "Frame1", 0, 0, 1000, 300),
        designRow("Shape1", Kind::Shape, "Frame1", 0, 0, 9000, 9000),
        designRow("Image2", Kind::Image, "Frame1", 0, 0, 1000, 500),
        designRow("Picture1", Kind::PictureBox, "Frame1", 3000, 2000, 1000, 900),
        designRow("Picture2", Kind::PictureBox, "Frame1", 3000, 2000, 1000, 900),
        designRow("frameChoices", Kind::Frame, "Frame1", 7000, 0, 4000, 4000),
        designRow("lbl1", Kind::Label, "frameChoices", 0, 0, 1800, 1200),
        designRow("cmbMaxNum", Kind::ComboBox, "Frame1", 0, 8000, 700, 400),
    };
    w[3].caption = "12";
    w[7].visible = false;
    w[8].bordered = true;
    w[8].visible = false;
    w[10].items = {"1", "2", "3"};
    return w;
}

class AccessibleTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"lblClickMe", "Picture1", "Picture2", "lbl1", "cmbMaxNum"}) controls[name].handler = [] {};
    }
    std::vector<std::string> childrenOf(const char* host) {
        std::vector<std::string> out;
        for (const ui::Control* c : ui::accessibleChildren(controls, controls[host])) out.push_back(c->name());
        return out;
    }
    // A point in the window's twips; the frames lie at the window's origin.
    const ui::Control* at(const char* host, int x, int y) {
        const auto hit = ui::accessibleChildAt(
            controls, controls[host],
            [&](const ui::Control& c) {
                const int dx = c.design().container == "frameChoices" ? controls["frameChoices"].left() : 0;
                return x >= c.left() + dx && x < c.left() + dx + c.width() && y >= c.top() && y < c.top() + c.height();
            },
            [](const ui::Control& c) { return !ui::isLightweight(c.kind()); });
        return hit;
    }

    std::vector<ui::ControlSpec> design = window();
    ui::Controls controls{design};
};

TEST_F(AccessibleTreeTest, WhatStandsInTheTreeInTableOrderAndWhatIsOfferedNow) {
    // Shapes and images without a click are painting only; a label without
    // one is text; hidden controls stand in the tree but are not offered.
    EXPECT_EQ(childrenOf("Frame1"), (std::vector<std::string>{"lblClickMe", "Label3", "Picture1", "Picture2",
                                                              "frameChoices", "cmbMaxNum"}));
    EXPECT_EQ(childrenOf("frameChoices"), std::vector<std::string>{"lbl1"});
    EXPECT_EQ(ui::accessibleRole(controls["Label3"]), ui::Role::Text);
    EXPECT_EQ(ui::accessibleRole(controls["lblClickMe"]), ui::Role::Button);
    EXPECT_EQ(ui::accessibleRole(controls["Image2"]), ui::Role::None);
    EXPECT_TRUE(ui::accessiblePressable(controls["lblClickMe"]));
    EXPECT_FALSE(ui::accessiblePressable(controls["Label3"]));
    EXPECT_FALSE(ui::accessiblePressable(controls["cmbMaxNum"]));

    EXPECT_TRUE(ui::offered(controls, controls["lblClickMe"]));
    EXPECT_FALSE(ui::offered(controls, controls["Picture2"]));
    EXPECT_FALSE(ui::offered(controls, controls["lbl1"]));  // its frame is hidden
    controls["frameChoices"].setVisible(true);
    EXPECT_TRUE(ui::offered(controls, controls["lbl1"]));
    controls["Frame1"].setVisible(false);
    EXPECT_FALSE(ui::offered(controls, controls["lbl1"]));
}

TEST_F(AccessibleTreeTest, StatesFollowTheContainersTheTabOrderAndTheFocus) {
    controls["frameChoices"].setVisible(true);
    ui::AccessibleState tile = ui::accessibleState(controls, controls["lbl1"], &controls["lblClickMe"]);
    EXPECT_TRUE(tile.offered && tile.focusable);
    EXPECT_FALSE(tile.unavailable || tile.focused);
    controls["frameChoices"].setEnabled(false);
    tile = ui::accessibleState(controls, controls["lbl1"], &controls["lbl1"]);
    EXPECT_TRUE(tile.unavailable && tile.focused);
    EXPECT_FALSE(ui::accessibleState(controls, controls["Label3"], nullptr).focusable);

    EXPECT_EQ(ui::accessibleValue(controls["cmbMaxNum"]), "");
    controls["cmbMaxNum"].setSelectedIndex(2);
    EXPECT_EQ(ui::accessibleValue(controls["cmbMaxNum"]), "3");
    EXPECT_EQ(ui::accessibleValue(controls["Label3"]), "");
}

TEST_F(AccessibleTreeTest, APointFindsAWindowBeforeWhatItsContainerPaintsAndNothingHidden) {
    // The loudspeaker lies over the card: the picture box has a window.
    EXPECT_EQ(at("Frame1", 3500, 2500), &controls["Picture1"]);
    EXPECT_EQ(at("Frame1", 2500, 2500), &controls["lblClickMe"]);
    // Label3 lies in front of the shape, which is no node.
    EXPECT_EQ(at("Frame1", 100, 100), &controls["Label3"]);
    EXPECT_EQ(at("Frame1", 100, 5000), nullptr);
    // Two loudspeakers at one place: the one shown.
    controls["Picture1"].setVisible(false);
    controls["Picture2"].setVisible(true);
    EXPECT_EQ(at("Frame1", 3500, 2500), &controls["Picture2"]);
    EXPECT_EQ(at("Frame1", 7500, 500), nullptr);  // the answers' frame is hidden
    controls["frameChoices"].setVisible(true);
    EXPECT_EQ(at("Frame1", 7500, 500), &controls["frameChoices"]);
    EXPECT_EQ(at("frameChoices", 7500, 500), &controls["lbl1"]);
}

TEST_F(AccessibleTreeTest, MovingAboutGoesAlongEachContainersNodesHiddenOnesIncluded) {
    EXPECT_EQ(ui::accessibleRoot(controls), &controls["frmSplash"]);
    // Places count nodes only: the shape and the bare image are skipped.
    EXPECT_EQ(ui::accessibleIndex(controls, controls["Picture1"]), 2);
    EXPECT_EQ(ui::accessibleIndex(controls, controls["frmSplash"]), -1);
    EXPECT_EQ(ui::accessibleIndex(controls, controls["Shape1"]), -1);
    EXPECT_EQ(ui::accessibleChild(controls, controls["Frame1"], 4), &controls["frameChoices"]);
    EXPECT_EQ(ui::accessibleChild(controls, controls["Frame1"], 6), nullptr);

    EXPECT_EQ(ui::accessibleFirstChild(controls, controls["Frame1"]), &controls["lblClickMe"]);
    EXPECT_EQ(ui::accessibleLastChild(controls, controls["Frame1"]), &controls["cmbMaxNum"]);
    EXPECT_EQ(ui::accessibleFirstChild(controls, controls["lbl1"]), nullptr);

    // The hidden loudspeaker and frame are still steps on the way.
    EXPECT_EQ(ui::accessibleSibling(controls, controls["Picture1"], true), &controls["Picture2"]);
    EXPECT_EQ(ui::accessibleSibling(controls, controls["Picture2"], true), &controls["frameChoices"]);
    EXPECT_EQ(ui::accessibleSibling(controls, controls["Label3"], false), &controls["lblClickMe"]);
    EXPECT_EQ(ui::accessibleSibling(controls, controls["lblClickMe"], false), nullptr);
    EXPECT_EQ(ui::accessibleSibling(controls, controls["cmbMaxNum"], true), nullptr);
    EXPECT_EQ(ui::accessibleSibling(controls, controls["frmSplash"], true), nullptr);
}

TEST_F(AccessibleTreeTest, TheFocusIsFoundThroughTheNodeThatHoldsIt) {
    EXPECT_EQ(ui::accessibleFocusPath(controls, controls["frmSplash"], &controls["lbl1"]), &controls["Frame1"]);
    EXPECT_EQ(ui::accessibleFocusPath(controls, controls["Frame1"], &controls["lbl1"]), &controls["frameChoices"]);
    EXPECT_EQ(ui::accessibleFocusPath(controls, controls["frameChoices"], &controls["lbl1"]), &controls["lbl1"]);
    // On the host itself, outside it, or nowhere: no node of it holds it.
    EXPECT_EQ(ui::accessibleFocusPath(controls, controls["Frame1"], &controls["Frame1"]), nullptr);
    EXPECT_EQ(ui::accessibleFocusPath(controls, controls["frameChoices"], &controls["cmbMaxNum"]), nullptr);
    EXPECT_EQ(ui::accessibleFocusPath(controls, controls["Frame1"], nullptr), nullptr);
}

TEST_F(AccessibleTreeTest, EachChangeTellsAListenerWhatChanged) {
    using E = std::vector<AccessibleEvent>;
    // A tile's number and a plain label's words are their names; the card's
    // name is its own words, whatever it shows.
    EXPECT_EQ(ui::accessibleEvents(controls["lbl1"], Change::Caption), E{AccessibleEvent::NameChanged});
    EXPECT_EQ(ui::accessibleEvents(controls["Label3"], Change::Caption), E{AccessibleEvent::NameChanged});
    EXPECT_EQ(ui::accessibleEvents(controls["lblClickMe"], Change::Caption), E{});
    // The loudspeaker shown names the speech's state; any other control
    // shown or hidden joins or leaves the tree.
    controls["Picture2"].setVisible(true);
    EXPECT_EQ(ui::accessibleEvents(controls["Picture2"], Change::Visible),
              (E{AccessibleEvent::Shown, AccessibleEvent::NameChanged}));
    controls["Picture1"].setVisible(false);
    EXPECT_EQ(ui::accessibleEvents(controls["Picture1"], Change::Visible), E{AccessibleEvent::Hidden});
    controls["frameChoices"].setVisible(true);
    EXPECT_EQ(ui::accessibleEvents(controls["frameChoices"], Change::Visible), E{AccessibleEvent::Shown});
    // A list's entry is its value.
    EXPECT_EQ(ui::accessibleEvents(controls["cmbMaxNum"], Change::Selection), E{AccessibleEvent::ValueChanged});
    EXPECT_EQ(ui::accessibleEvents(controls["lbl1"], Change::Enabled), E{AccessibleEvent::StateChanged});
    EXPECT_EQ(ui::accessibleEvents(controls["lbl1"], Change::Geometry), E{AccessibleEvent::LocationChanged});
    EXPECT_EQ(ui::accessibleEvents(controls["lbl1"], Change::Focus), E{AccessibleEvent::Focus});
    // Colours say nothing; painting only tells nothing.
    EXPECT_EQ(ui::accessibleEvents(controls["lbl1"], Change::BackColor), E{});
    EXPECT_EQ(ui::accessibleEvents(controls["Shape1"], Change::Visible), E{});
    EXPECT_EQ(ui::accessibleEvents(controls["Image2"], Change::Geometry), E{});
}

}  // namespace
