// SPDX-License-Identifier: GPL-3.0-or-later
// What every binding keeps of the controls it shows and what each change of
// the model asks of it (ui/views.h), on a fake toolkit whose objects are ints.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "testbed/design_rows.h"
#include "ui/views.h"

namespace {

using ui::Change;
using ui::Kind;

ui::ControlSpec row(std::string name, Kind kind, std::string container, bool autoSize = false) {
    ui::ControlSpec r = testbed::designRow(std::move(name), kind, std::move(container), 150, 150, 600, 600);
    r.autoSize = autoSize;
    if (kind == Kind::ListBox || kind == Kind::ComboBox) r.items = {"5", "10"};
    return r;
}

const std::vector<ui::ControlSpec>& table() {
    static const std::vector<ui::ControlSpec> rows = {
        row("frmTest", Kind::Form, ""),         row("lblFront", Kind::Label, "frmTest"),
        row("cmdGo", Kind::Button, "frmTest"),  row("lblBack", Kind::Label, "frmTest", true),
        row("Frame1", Kind::Frame, "frmTest"),  row("shpIn", Kind::Shape, "Frame1"),
        row("cboN", Kind::ComboBox, "Frame1"),  row("lstS", Kind::ListBox, "frmTest"),
        row("tmrT", Kind::Timer, "frmTest"),
    };
    return rows;
}

struct FakeView : ui::View {
    int* own = nullptr;
};
using Table = ui::ViewTable<FakeView, &FakeView::own>;

struct Views : ::testing::Test {
    ui::Controls controls{table()};
    Table views{controls};
    int form = 0, frame = 0, button = 0;
    Views() {
        views.setForm(&form);
        views.find("Frame1")->own = &frame;
        views.find("cmdGo")->own = &button;
    }
};

TEST_F(Views, EachContainerPaintsItsOwnLightweightControlsFrontToBack) {
    EXPECT_EQ(views.formName(), "frmTest");
    std::vector<std::string> names;
    for (const FakeView* v : views.layer("frmTest")) names.push_back(v->control->name());
    EXPECT_EQ(names, (std::vector<std::string>{"lblFront", "lblBack"}));  // no button, list or frame
    ASSERT_EQ(views.layer("Frame1").size(), 1u);
    EXPECT_EQ(views.layer("Frame1")[0]->control->name(), "shpIn");
    EXPECT_TRUE(views.layer("cmdGo").empty());
}

TEST_F(Views, TheFormAndEachControlAreFoundByNameAndByObject) {
    EXPECT_EQ(views.ownFor("frmTest"), &form);
    EXPECT_EQ(views.ownFor("Frame1"), &frame);
    EXPECT_EQ(views.ownFor("lblFront"), nullptr);  // painted by its container
    EXPECT_EQ(views.ownFor("nothing"), nullptr);
    EXPECT_EQ(views.containerOf(""), &form);
    EXPECT_EQ(views.containerOf("frmTest"), &form);
    EXPECT_EQ(views.containerOf("Frame1"), &frame);
    EXPECT_EQ(views.byOwn(&button)->control, &controls["cmdGo"]);
    EXPECT_EQ(views.byOwn(nullptr), nullptr);  // the painted controls share no object
    EXPECT_EQ(views.control("shpIn"), &controls["shpIn"]);
    EXPECT_EQ(views.control("nothing"), nullptr);
}

TEST_F(Views, AMovedControlRepaintsWhereItWasAndWhereItIsThenOnlyWhereItIs) {
    views.notePainted();
    FakeView& label = *views.find("lblFront");
    const ui::Rect before = ui::paintBounds(*label.control);
    label.control->setLeft(3000);
    const ui::Rect after = ui::paintBounds(*label.control);
    const ui::Rect both = views.repaintArea(label);
    EXPECT_EQ(both, (ui::Rect{before.left, before.top, after.right, after.bottom}));
    EXPECT_EQ(views.repaintArea(label), after);  // nothing moved since
    EXPECT_EQ(ui::unite(ui::Rect{}, after), after);
    EXPECT_EQ(ui::unite(after, ui::Rect{5, 5, 5, 9}), after);  // an empty rectangle adds nothing
}

TEST_F(Views, TheFormRepaintsWholeAndTheTimerNeedsNothing) {
    for (Change change : {Change::Caption, Change::Visible, Change::Geometry, Change::BackColor}) {
        EXPECT_EQ(ui::whatChangeNeeds(controls["frmTest"], change), (ui::Redraw{.wholeForm = true}));
        EXPECT_EQ(ui::whatChangeNeeds(controls["tmrT"], change), ui::Redraw{});
    }
}

TEST_F(Views, ALabelsCaptionIsRefittedAndRepaintedInItsContainer) {
    const ui::Redraw r = ui::whatChangeNeeds(controls["lblFront"], Change::Caption);
    EXPECT_TRUE(r.refit && r.repaint && r.tell);
    EXPECT_TRUE(r.text);  // a label clicked through a window of its own names it
    EXPECT_FALSE(r.redrawOwn);
    const ui::Redraw b = ui::whatChangeNeeds(controls["cmdGo"], Change::Caption);
    EXPECT_TRUE(b.text && b.redrawOwn);
    EXPECT_FALSE(b.refit || b.repaint);
}

TEST_F(Views, OnlyAFixedSizeLabelIsRefittedWhenItIsResized) {
    EXPECT_TRUE(ui::whatChangeNeeds(controls["lblFront"], Change::Geometry).refit);
    EXPECT_FALSE(ui::whatChangeNeeds(controls["lblBack"], Change::Geometry).refit);  // sized to its caption
    EXPECT_FALSE(ui::whatChangeNeeds(controls["cmdGo"], Change::Geometry).refit);
    EXPECT_TRUE(ui::whatChangeNeeds(controls["lblBack"], Change::Geometry).repaint);
    EXPECT_FALSE(ui::whatChangeNeeds(controls["cmdGo"], Change::Geometry).repaint);
}

TEST_F(Views, ShowingEnablingAndColouringRepaintOnlyPaintedControls) {
    for (Change change : {Change::Visible, Change::Enabled, Change::BackColor}) {
        EXPECT_TRUE(ui::whatChangeNeeds(controls["shpIn"], change).repaint);
        EXPECT_FALSE(ui::whatChangeNeeds(controls["Frame1"], change).repaint);
    }
    EXPECT_TRUE(ui::whatChangeNeeds(controls["cmdGo"], Change::BackColor).backColor);
    EXPECT_FALSE(ui::whatChangeNeeds(controls["lblFront"], Change::BackColor).backColor);
}

TEST_F(Views, ASelectionIsShownByTheKindOfListThatHoldsIt) {
    const ui::Redraw combo = ui::whatChangeNeeds(controls["cboN"], Change::Selection);
    const ui::Redraw list = ui::whatChangeNeeds(controls["lstS"], Change::Selection);
    EXPECT_TRUE(combo.comboSelection && !combo.listSelection);
    EXPECT_TRUE(list.listSelection && !list.comboSelection);
    EXPECT_FALSE(combo.repaint || list.repaint);
    EXPECT_TRUE(ui::whatChangeNeeds(controls["cmdGo"], Change::Focus).focus);
}

}  // namespace
