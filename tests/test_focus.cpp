// SPDX-License-Identifier: GPL-3.0-or-later
// The window's focus rules on a fake binding: the walk of Tab, the focus of
// labels inside their container's widget, the ring, the focus a click
// gives, the repair after the focused control goes, and the keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/control_table.h"
#include "ui/focus.h"

namespace {

using ui::Control;
using ui::Key;
using ui::KeyPress;

// The toolkit: one widget holds its focus. Labels and images have widgets
// of their own only when `labelWidgets` (as on Windows).
struct FakeHost : ui::FocusHost {
    ui::Controls& controls;
    bool labelWidgets = false;
    Control* holder = nullptr;
    int gives = 0, movesInside = 0, repairs = 0, picks = 0;
    std::vector<std::string> presses;
    std::vector<ui::RingPlace> rings;
    bool open = false;

    explicit FakeHost(ui::Controls& c) : controls(c) {}
    Control* toolkitFocus() const override { return holder; }
    bool hasWidget(const Control& c) const override {
        return !ui::isLightweight(c.kind()) || (labelWidgets && c.handler);
    }
    void giveFocus(Control& c, ui::FocusCause) override {
        holder = &c;
        ++gives;
    }
    void focusMovedInside(Control&) override { ++movesInside; }
    void queueRepair() override { ++repairs; }
    void ringMoved(const ui::RingPlace&, const ui::RingPlace& to) override { rings.push_back(to); }
    bool listOpen(const Control&) const override { return open; }
    void showList(Control&, bool o) override { open = o; }
    void press(Control& c) override { presses.push_back(c.name()); }
    void pickCurrentEntry(Control&) override { ++picks; }
};

struct Focus : ::testing::Test {
    ui::Controls controls{ui::controlTable()};
    FakeHost host{controls};
    ui::FocusRules rules{controls, host};

    void SetUp() override {
        for (const auto& stop : ui::tabOrder())
            for (const auto& name : stop) controls[name].handler = [] {};
        controls["Command1"].handler = [] {};
        rules.focusFirst();
    }
    Control& operator[](const char* name) { return controls[name]; }
    std::string now() const { return rules.focused() ? rules.focused()->name() : "(none)"; }
    std::string walk(bool forward, int steps) {
        std::string seen;
        for (int i = 0; i < steps; ++i) {
            rules.tab(forward);
            seen += (seen.empty() ? "" : " ") + now();
        }
        return seen;
    }
};

KeyPress key(Key k, bool shift = false) { return {k, 0, shift}; }

TEST_F(Focus, TabWalksOverWhatIsHiddenDisabledOrCovered) {
    EXPECT_EQ(now(), "lblClickMe");
    (*this)["picMinus"].setEnabled(false);
    (*this)["cmbMaxNum"].setVisible(false);
    EXPECT_EQ(walk(true, 4), "picPlus picX picDivide cmbMinNum");
    // The answers' frame shown: the drawing behind it is covered.
    (*this)["frameChoices"].setVisible(true);
    (*this)["lbl3"].setVisible(false);
    EXPECT_EQ(walk(true, 5), "lbl1 lbl2 lbl4 lbl5 lbl6");
    const std::string round = walk(true, 1);
    EXPECT_NE(round, "img123");
    EXPECT_EQ(walk(false, 1), "lbl6");
    (*this)["frameChoices"].setVisible(false);
    rules.focus((*this)["lblClickMe"]);
    EXPECT_EQ(walk(true, 1), "picPlus");
    EXPECT_EQ(walk(false, 1), "lblClickMe");
}

TEST_F(Focus, ALabelIsFocusedInsideItsContainersWidget) {
    EXPECT_EQ(host.holder, &(*this)["Frame1"]);
    EXPECT_EQ(rules.lightweightFocusIn((*this)["Frame1"]), &(*this)["lblClickMe"]);
    // Another label of the same container: the toolkit sees no change.
    const int gives = host.gives;
    rules.focus((*this)["lblTimer"]);
    EXPECT_EQ(host.gives, gives);
    EXPECT_EQ(host.movesInside, 1);
    EXPECT_EQ(now(), "lblTimer");
    // An answer lies in a frame of its own, whose widget takes the focus.
    (*this)["frameChoices"].setVisible(true);
    rules.focus((*this)["lbl2"]);
    EXPECT_EQ(host.holder, &(*this)["frameChoices"]);
    EXPECT_EQ(rules.lightweightFocusIn((*this)["Frame1"]), nullptr);
    // A widget: the label is focused no longer, the frame is no focus.
    rules.focus((*this)["picX"]);
    EXPECT_EQ(rules.lightweightFocusIn((*this)["frameChoices"]), nullptr);
    EXPECT_EQ(now(), "picX");
    host.holder = &(*this)["Frame1"];
    EXPECT_EQ(now(), "Frame1");
    host.holder = &(*this)["frmSplash"];
    EXPECT_EQ(now(), "(none)");

    // Where labels have windows of their own, they hold the focus themselves.
    host.labelWidgets = true;
    rules.focus((*this)["lblClickMe"]);
    EXPECT_EQ(host.holder, &(*this)["lblClickMe"]);
    EXPECT_EQ(now(), "lblClickMe");
}

TEST_F(Focus, TheRingGoesRoundTheFocusedControlFromAKeyToThePointer) {
    EXPECT_TRUE(host.rings.empty());
    EXPECT_FALSE(rules.key(key(Key::Modifier)));
    EXPECT_TRUE(host.rings.empty());
    // It shows round the card, then Tab takes it on.
    rules.key(key(Key::Tab));
    ASSERT_EQ(host.rings.size(), 2u);
    EXPECT_EQ(host.rings[0], (ui::RingPlace{"Frame1", ui::pixelBox((*this)["lblClickMe"])}));
    const ui::PixelBox box = ui::pixelBox((*this)["picPlus"]);
    EXPECT_EQ(host.rings.back(), (ui::RingPlace{"Frame1", box}));
    // A label's ring lies in its container's pixels.
    (*this)["frameChoices"].setVisible(true);
    rules.focus((*this)["lbl1"]);
    EXPECT_EQ(host.rings.back(), (ui::RingPlace{"frameChoices", ui::pixelBox((*this)["lbl1"])}));
    // It follows the control and goes with it; the pointer hides it.
    (*this)["lbl1"].setLeft((*this)["lbl1"].left() + 150);
    rules.changed((*this)["lbl1"], ui::Change::Geometry);
    EXPECT_EQ(host.rings.back().around.x, ui::pixelBox((*this)["lbl1"]).x);
    const std::size_t moves = host.rings.size();
    rules.toolkitFocusMoved();
    EXPECT_EQ(host.rings.size(), moves);  // no move, no call
    (*this)["lbl1"].setVisible(false);
    rules.changed((*this)["lbl1"], ui::Change::Visible);
    EXPECT_FALSE(host.rings.back().shown());
    rules.repair();
    EXPECT_EQ(host.rings.back().container, "frameChoices");
    EXPECT_TRUE(rules.pointerPressed());
    EXPECT_FALSE(host.rings.back().shown());
    EXPECT_FALSE(rules.pointerPressed());
    // A key in an open list's popup shows it too.
    rules.keyElsewhere(key(Key::Other));
    EXPECT_TRUE(host.rings.back().shown());
}

TEST_F(Focus, AClickFocusesAStopOfTheTabOrderOnly) {
    rules.clicked((*this)["picMinus"]);
    EXPECT_EQ(now(), "picMinus");
    rules.clicked((*this)["Command1"]);  // the close button is no stop
    EXPECT_EQ(now(), "picMinus");
    (*this)["picX"].setEnabled(false);
    rules.clicked((*this)["picX"]);
    EXPECT_EQ(now(), "picMinus");
    rules.clicked((*this)["lblTimer"]);
    EXPECT_EQ(now(), "lblTimer");
}

TEST_F(Focus, TheFocusIsRepairedOnceTheHandlerHasRun) {
    // One loudspeaker gives way to the other at the same stop.
    const bool first = (*this)["Picture1"].visible();
    Control& shown = (*this)[first ? "Picture1" : "Picture2"];
    Control& other = (*this)[first ? "Picture2" : "Picture1"];
    rules.focus(shown);
    shown.setVisible(false);
    rules.changed(shown, ui::Change::Visible);
    EXPECT_EQ(host.repairs, 1);
    other.setVisible(true);
    rules.changed(other, ui::Change::Visible);
    EXPECT_EQ(host.repairs, 1);  // one repair for one loss
    rules.repair();
    EXPECT_EQ(now(), other.name());

    // A focused answer whose frame is hidden: the next stop that can.
    (*this)["frameChoices"].setVisible(true);
    rules.focus((*this)["lbl6"]);
    (*this)["frameChoices"].setVisible(false);
    rules.toolkitFocusLeaving();  // the toolkit moves off the hidden frame
    host.holder = &(*this)["Frame1"];
    rules.repair();
    EXPECT_EQ(now(), "img123");

    // Covered by a frame shown over it: it goes too.
    (*this)["frameChoices"].setVisible(true);
    rules.changed((*this)["frameChoices"], ui::Change::Visible);
    EXPECT_EQ(host.repairs, 3);
    rules.repair();
    EXPECT_NE(now(), "img123");

    // Disabled, as the toolkit tells it (its focus moved at once); the
    // handler focused another stop meanwhile, which keeps it.
    rules.focus((*this)["picPlus"]);
    rules.changing(ui::Change::Enabled);
    (*this)["picPlus"].setEnabled(false);
    host.holder = &(*this)["Frame1"];
    rules.changed((*this)["picPlus"], ui::Change::Enabled);
    rules.focus((*this)["picDivide"]);
    rules.repair();
    EXPECT_EQ(now(), "picDivide");
    rules.repair();  // nothing lost: nothing to do
    EXPECT_EQ(now(), "picDivide");
}

TEST_F(Focus, KeysPressOpenAndWalk) {
    EXPECT_TRUE(rules.key(key(Key::Space)));
    EXPECT_TRUE(rules.key(key(Key::Enter)));
    EXPECT_FALSE(rules.key(key(Key::Other)));
    // Ctrl+Q presses the close button, wherever the focus is.
    EXPECT_TRUE(rules.key({Key::Letter, 'Q', false, true}));
    EXPECT_EQ(host.presses, (std::vector<std::string>{"lblClickMe", "lblClickMe", "Command1"}));
    EXPECT_FALSE(rules.key({Key::Letter, 'Q'}));

    // A closed list opens; the open one keeps Enter; Tab closes it and walks.
    rules.focus((*this)["cmbMinNum"]);
    EXPECT_TRUE(rules.key(key(Key::Space)));
    EXPECT_TRUE(host.open);
    EXPECT_FALSE(rules.key(key(Key::Enter)));
    EXPECT_TRUE(rules.key(key(Key::Tab, true)));
    EXPECT_FALSE(host.open);
    EXPECT_EQ(now(), "picDivide");

    // The list box picks its current entry.
    rules.focus((*this)["lstTimer"]);
    rules.key(key(Key::Enter));
    EXPECT_EQ(host.picks, 1);

    // A control out of the tab order, focused by the program, takes no key.
    rules.focus((*this)["Command1"]);
    EXPECT_TRUE(rules.key(key(Key::Space)));
    EXPECT_EQ(host.presses.size(), 3u);
}

TEST_F(Focus, TheFocusComesBackWhenTheWindowIsActivatedAgain) {
    rules.focus((*this)["picX"]);
    rules.activation(false);
    host.holder = nullptr;
    rules.activation(true);
    EXPECT_EQ(now(), "picX");
    host.holder = &(*this)["frmSplash"];
    rules.activation(true);
    EXPECT_EQ(now(), "picX");
    // The first time: the design's first focus.
    ui::FocusRules fresh(controls, host);
    host.holder = nullptr;
    fresh.activation(true);
    EXPECT_EQ(fresh.focused(), &(*this)["lblClickMe"]);
}

TEST(FocusRing, ThreePixelsWideAPixelClearAtEveryScale) {
    const ui::PixelBox box{10, 20, 34, 34};
    const ui::PixelBox o = ui::ringOuter(box);
    EXPECT_EQ(o.x, 6);
    EXPECT_EQ(o.width, 42);
    // The bands cover the outer box's edge and nothing inside the gap.
    int covered = 0;
    for (int y = o.y; y < o.y + o.height; ++y)
        for (int x = o.x; x < o.x + o.width; ++x) {
            int in = 0;
            for (const ui::PixelBox& b : ui::ringBands(box)) in += b.contains(x, y);
            covered += in > 0;
            const bool gap = x >= box.x - 1 && x <= box.x + box.width && y >= box.y - 1 && y <= box.y + box.height;
            EXPECT_TRUE(!gap || in == 0) << x << "," << y;
        }
    EXPECT_EQ(covered, 42 * 42 - 36 * 36);
    // At twice the scale, twice as far and twice as wide.
    const ui::PixelBox o2 = ui::ringOuter(box, 2 * ui::kDesignDpi);
    EXPECT_EQ(box.x - o2.x, 8);
    EXPECT_EQ(ui::ringBands(box, 2 * ui::kDesignDpi)[0].height, 6);
}

}  // namespace
