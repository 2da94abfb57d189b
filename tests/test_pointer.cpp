// SPDX-License-Identifier: GPL-3.0-or-later
// The mouse rules both bindings follow: which press and release make a click
// on a control or on the bare window, which release in a list box is a pick,
// and what ui::Binding makes of them.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "testbed/design_rows.h"
#include "ui/binding.h"
#include "ui/pointer.h"

namespace {

using ui::Kind;

ui::ControlSpec row(std::string name, Kind kind, std::string container) {
    ui::ControlSpec r = testbed::designRow(std::move(name), kind, std::move(container));
    if (kind == Kind::ListBox) r.items = {"5", "10", "15"};
    return r;
}

const std::vector<ui::ControlSpec>& table() {
    static const std::vector<ui::ControlSpec> rows = {
        row("frmTest", Kind::Form, ""),        row("lblA", Kind::Label, "frmTest"),
        row("lblB", Kind::Label, "frmTest"),   row("Frame1", Kind::Frame, "frmTest"),
        row("lblC", Kind::Label, "Frame1"),    row("lstL", Kind::ListBox, "frmTest"),
    };
    return rows;
}

struct Pointer : ::testing::Test {
    ui::Controls controls{table()};
    ui::PointerTracker pointer{"frmTest"};
    ui::Control& a = controls["lblA"];
    ui::Control& b = controls["lblB"];
    ui::Control& c = controls["lblC"];

    ui::Control* click(std::string_view container, ui::Control* down, ui::Control* up) {
        pointer.press(container, down);
        return pointer.release(container, up, true).control;
    }
    bool bare(std::string_view container, bool inside) {
        pointer.press(container, nullptr);
        return pointer.release(container, nullptr, inside).bareWindow;
    }
};

TEST_F(Pointer, AClickNeedsThePressAndTheReleaseOnTheSameControl) {
    EXPECT_EQ(click("frmTest", &a, &a), &a);
    EXPECT_EQ(click("frmTest", &a, &b), nullptr);        // released on another
    EXPECT_EQ(click("frmTest", &a, nullptr), nullptr);   // released on the bare window
    EXPECT_EQ(click("frmTest", nullptr, &a), nullptr);   // pressed on the bare window
    EXPECT_FALSE(pointer.release("frmTest", &a, true));  // a release with no press before it
    EXPECT_FALSE(pointer.release("Frame1", &c, true));   // in a container never pressed
}

TEST_F(Pointer, OnlyTheWindowItselfTakesClicksOnItsBareArea) {
    EXPECT_TRUE(bare("frmTest", true));
    EXPECT_FALSE(bare("frmTest", false));  // the release left the window
    EXPECT_FALSE(bare("Frame1", true));    // a frame's bare area is no click
    pointer.press("frmTest", &a);          // a press on a control and a release on the bare window
    EXPECT_FALSE(pointer.release("frmTest", nullptr, true));
}

TEST_F(Pointer, TheSecondPressOfADoubleClickClicksNothing) {
    EXPECT_EQ(click("frmTest", &a, &a), &a);
    pointer.doubleClick("frmTest");
    EXPECT_FALSE(pointer.release("frmTest", &a, true));
    EXPECT_EQ(click("frmTest", &a, &a), &a);  // the press after it is a press again
    pointer.press("frmTest", nullptr);
    pointer.release("frmTest", nullptr, true);
    pointer.doubleClick("frmTest");
    EXPECT_FALSE(pointer.release("frmTest", nullptr, true));  // on the bare window too
}

TEST_F(Pointer, APressOnAControlHiddenOrDisabledMeanwhileClicksNothing) {
    pointer.press("frmTest", &a);
    a.setVisible(false);
    // The hit test no longer finds it, and a late one that still does is
    // no click either.
    EXPECT_FALSE(pointer.release("frmTest", nullptr, true));
    pointer.press("frmTest", &a);
    EXPECT_FALSE(pointer.release("frmTest", &a, true));
    a.setVisible(true);
    pointer.press("frmTest", &a);
    a.setEnabled(false);
    EXPECT_FALSE(pointer.release("frmTest", &a, true));
}

TEST_F(Pointer, EachContainerKeepsItsOwnPress) {
    pointer.press("frmTest", &a);
    pointer.press("Frame1", &c);
    EXPECT_EQ(pointer.release("Frame1", &c, true).control, &c);
    EXPECT_EQ(pointer.release("frmTest", &a, true).control, &a);
}

TEST(ListPress, WhichReleasePicks) {
    struct Case {
        int before, now, under, picked;
    };
    const std::vector<Case> cases = {
        {1, 1, 1, 1},    // a click on the entry already selected picks it again
        {0, 2, 2, 2},    // a click on another entry picks it
        {0, 2, -1, 2},   // the press moved the selection, the release left the list
        {0, 2, 1, 2},    // ... or ended on another entry
        {1, 1, 2, -1},   // nothing moved and the release is elsewhere
        {1, 1, -1, -1},  // ... or outside the list
        {-1, -1, 0, -1}, // nothing is selected
    };
    for (const Case& k : cases) {
        ui::ListPress press;
        press.press(k.before);
        EXPECT_TRUE(press.held());
        EXPECT_EQ(press.release(k.now, k.under), k.picked) << k.before << " " << k.now << " " << k.under;
        EXPECT_FALSE(press.held());
        EXPECT_EQ(press.release(k.now, k.now), -1);  // one release per press
    }
}

// A binding that records what the shared code asks of it.
struct RecordingBinding : ui::Binding {
    std::vector<std::string> log;
    RecordingBinding(ui::Controls& controls)
        : ui::Binding(
              controls, [this](ui::Control& c) { log.push_back("event " + c.name()); },
              [this] { log.push_back("form click"); }) {
        observe();
    }
    ~RecordingBinding() override { stopObserving(); }
    void changed(std::size_t row, ui::Change change) override {
        log.push_back("change " + controls().all()[row]->name() + " " + std::to_string(static_cast<int>(change)));
    }
    void focusOnClick(ui::Control& c) override { log.push_back("focus " + c.name()); }
    using ui::Binding::pick;
    using ui::Binding::pointerDoubleClicked;
    using ui::Binding::pointerPressed;
    using ui::Binding::pointerReleased;
};

struct BindingRules : ::testing::Test {
    ui::Controls controls{table()};
    RecordingBinding binding{controls};
    void SetUp() override {
        for (const char* name : {"lblA", "lblC", "lstL"}) controls[name].handler = [] {};
    }
};

TEST_F(BindingRules, TheModelsChangesReachTheirRowUntilTheBindingLetsGo) {
    EXPECT_EQ(binding.formName(), "frmTest");
    controls["lblB"].setCaption("7");
    controls["lblC"].setVisible(false);
    EXPECT_EQ(binding.log, (std::vector<std::string>{"change lblB 0", "change lblC 1"}));
    ui::Controls other{table()};
    { RecordingBinding gone{other}; }
    other["lblB"].setCaption("8");  // would reach the binding that is gone
    EXPECT_FALSE(other["lblB"].observer);
    binding.log.clear();
    controls["lblB"].fitSize(10, 10);  // the binding's own fitting tells nobody
    EXPECT_TRUE(binding.log.empty());
}

TEST_F(BindingRules, APickIsRecordedBeforeItsHandlerRuns) {
    ui::Control& list = controls["lstL"];
    int seen = -2;
    list.handler = [&] { seen = list.selectedIndex(); };
    binding.log.clear();
    binding.pick(list, 2);
    EXPECT_EQ(list.selectedIndex(), 2);
    EXPECT_EQ(binding.log, (std::vector<std::string>{"change lstL 5", "event lstL"}));
    binding.log.clear();
    binding.pick(list, 3);  // past the end: no pick
    binding.pick(list, -1);
    EXPECT_EQ(list.selectedIndex(), 2);
    EXPECT_TRUE(binding.log.empty());
    EXPECT_EQ(seen, -2);  // the window object raises the handler, not the binding
}

// A press by a key or an assistive tool does what a click does, the focus
// included, and only where a click would reach.
TEST_F(BindingRules, KeysAndAssistiveToolsPressOnlyWhatTakesPresses) {
    binding.activate(controls["lblA"]);
    binding.activate(controls["lblB"]);  // no handler
    controls["Frame1"].setVisible(false);
    binding.log.clear();
    binding.activate(controls["lblC"]);  // its frame is hidden
    EXPECT_TRUE(binding.log.empty());
    controls["Frame1"].setVisible(true);
    binding.log.clear();
    binding.activate(controls["lblC"]);
    EXPECT_EQ(binding.log, (std::vector<std::string>{"focus lblC", "event lblC"}));
}

TEST_F(BindingRules, AMouseClickFocusesThenRaisesAndTheBareWindowClicksTheForm) {
    binding.log.clear();
    binding.pointerPressed("frmTest", &controls["lblA"]);
    binding.pointerReleased("frmTest", &controls["lblA"], true);
    binding.pointerPressed("frmTest", &controls["lblB"]);  // a label without a handler
    binding.pointerReleased("frmTest", &controls["lblB"], true);
    binding.pointerPressed("frmTest", nullptr);
    binding.pointerReleased("frmTest", nullptr, true);
    binding.pointerDoubleClicked("frmTest");
    binding.pointerReleased("frmTest", nullptr, true);
    EXPECT_EQ(binding.log, (std::vector<std::string>{"focus lblA", "event lblA", "form click"}));
}

}  // namespace
