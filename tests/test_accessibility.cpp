// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader finds in the window: every control the child can
// click or pick, the painted labels and images included, with a name, and
// a press on a lightweight one acts like a click.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <map>
#include <set>
#include <string>

#include "testbed/fakes.h"
#include "qt/accessibility.h"
#include "ui/accessibility.h"
#include "qt/form_view.h"
#include "qt/keyboard.h"

namespace {

struct Found {
    QString name;
    QString description;
    QAccessible::Role role;
    QAccessibleInterface* iface;
};

// Every node under `root`, by the control it stands for: the widget's object
// name, or for lightweight controls the control whose rectangle it reports.
void walk(QAccessibleInterface* iface, qt::FormView& view, std::map<std::string, Found>& out,
          std::set<QAccessibleInterface*>& seen, int depth = 0) {
    ASSERT_LT(depth, 20) << "the tree does not end";
    if (!iface || !seen.insert(iface).second) return;
    std::string key;
    if (QObject* o = iface->object())
        key = o == &view ? view.formName() : o->objectName().toStdString();
    else
        key = "@" + iface->text(QAccessible::Name).toStdString();
    if (!key.empty()) out[key] = {iface->text(QAccessible::Name), iface->text(QAccessible::Description), iface->role(), iface};
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        ASSERT_NE(child, nullptr) << key << " child " << i;
        EXPECT_EQ(iface->indexOfChild(child), i) << key;
        walk(child, view, out, seen, depth + 1);
    }
}

class AccessibilityTest : public ::testing::Test {
protected:
    testbed::Rig rig;
    std::vector<std::string> events;
    qt::FormView view{rig.frm.controls(), [this](ui::Control& c) { events.push_back(c.name()); }, [] {}};

    void SetUp() override {
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    std::map<std::string, Found> tree() {
        std::map<std::string, Found> out;
        std::set<QAccessibleInterface*> seen;
        walk(QAccessible::queryAccessibleInterface(&view), view, out, seen);
        return out;
    }
};

// The lightweight nodes carry no object; find them by the control's words.
const Found* lightweight(const std::map<std::string, Found>& t, const std::string& name) {
    for (const auto& [key, f] : t)
        if (key[0] == '@' && f.iface->object() == nullptr && f.name.toStdString().rfind(name, 0) == 0) return &f;
    return nullptr;
}

TEST_F(AccessibilityTest, EveryControlWithAHandlerHasANameInTheTree) {
    // Hidden widgets are left out of the tree: show the ones that take turns.
    rig["frameChoices"].setVisible(true);
    rig["Picture2"].setVisible(true);
    const auto t = tree();
    int checked = 0;
    for (auto& c : rig.frm.controls().all()) {
        if (!c->handler || c->kind() == ui::Kind::Timer) continue;
        const ui::AccessibleText* words = ui::accessibleText(c->name());
        ASSERT_NE(words, nullptr) << c->name() << " has a handler but no words for screen readers";
        const Found* f = nullptr;
        if (view.widgetFor(c->name())) {
            auto it = t.find(c->name());
            ASSERT_NE(it, t.end()) << c->name() << " is not in the accessibility tree";
            f = &it->second;
        } else {
            f = lightweight(t, words->name);
            ASSERT_NE(f, nullptr) << c->name() << " (lightweight) is not in the accessibility tree";
            EXPECT_EQ(f->role, QAccessible::Button) << c->name();
            // Where a screen magnifier or a click by an assistive tool goes.
            const QRect r = view.pixelRect(*c);
            QWidget* host = view.widgetFor(c->design().container);
            EXPECT_EQ(f->iface->rect(), QRect(host->mapToGlobal(r.topLeft()), r.size())) << c->name();
        }
        EXPECT_FALSE(f->name.isEmpty()) << c->name();
        EXPECT_FALSE(f->description.isEmpty()) << c->name();
        ++checked;
    }
    EXPECT_GE(checked, 20);  // the walk really reached the controls
}

TEST_F(AccessibilityTest, PressOnALightweightControlOrPictureActsAsAClick) {
    rig["frameChoices"].setVisible(true);
    auto t = tree();
    const Found* card = lightweight(t, "Flash card");
    ASSERT_NE(card, nullptr);
    QAccessibleActionInterface* action = card->iface->actionInterface();
    ASSERT_NE(action, nullptr);
    action->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_NE(t.find("picMinus"), t.end());
    t.at("picMinus").iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    // Once the tool has its answer, at the next event pass.
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (std::vector<std::string>{"lblClickMe", "picMinus"}));

    // A hidden control is announced as invisible and does nothing: the six
    // answers live in a frame shown only in interactive mode.
    rig["frameChoices"].setVisible(false);
    const Found* answer = lightweight(t, "Answer 1");
    ASSERT_NE(answer, nullptr);
    EXPECT_TRUE(answer->iface->state().invisible);
    answer->iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTest::qWait(20);
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(AccessibilityTest, AnswerNamesReadTheNumberShown) {
    rig["frameChoices"].setVisible(true);
    rig["lbl3"].setCaption("12");
    const Found* answer = lightweight(tree(), "Answer 3");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->name, QStringLiteral("Answer 3: 12"));
}

TEST_F(AccessibilityTest, NoInternalNameAndNothingHiddenReachesTheTree) {
    rig["cmdDummy"].setVisible(false);
    auto t = tree();
    std::set<std::string> internal = {"cdmDummy"};
    for (auto& c : rig.frm.controls().all()) internal.insert(c->name());
    for (const auto& [key, f] : t) {
        EXPECT_FALSE(internal.count(f.name.toStdString())) << key << " is named " << f.name.toStdString();
        if (f.iface->object()) {  // Qt's own entries of a closed drop-down list report themselves invisible
            EXPECT_FALSE(f.iface->state().invisible) << key << " is hidden but in the tree";
        }
    }
    for (const char* hidden : {"cmdDummy", "frameChoices", "Picture2"}) EXPECT_FALSE(t.count(hidden)) << hidden;
    EXPECT_EQ(lightweight(t, "Answer 1"), nullptr);  // inside the hidden frame
    EXPECT_EQ(t.at("frmSet").name, QStringLiteral("Number range"));
    EXPECT_EQ(t.at("frameTimer").name, QStringLiteral("Timer"));

    // Shown again (interactive mode), the frame and its answers come back.
    rig["frameChoices"].setVisible(true);
    t = tree();
    ASSERT_TRUE(t.count("frameChoices"));
    EXPECT_EQ(t.at("frameChoices").name, QStringLiteral("Possible answers"));
    EXPECT_NE(lightweight(t, "Answer 1"), nullptr);
}

TEST_F(AccessibilityTest, TheLoudspeakerShownSaysWhetherSpeechIsOn) {
    EXPECT_EQ(tree().at("Picture1").name, QStringLiteral("Speech on"));
    rig.click("Picture1");  // muted: the crossed-out loudspeaker takes its place
    const auto t = tree();
    EXPECT_FALSE(t.count("Picture1"));
    EXPECT_EQ(t.at("Picture2").name, QStringLiteral("Speech off"));
}

TEST_F(AccessibilityTest, ANumberListSaysWhatItIsAndShowsItsEntryAsValue) {
    rig["cmbMaxNum"].select(9);
    const auto t = tree();
    const Found& max = t.at("cmbMaxNum");
    EXPECT_EQ(max.role, QAccessible::ComboBox);
    EXPECT_EQ(max.name, QStringLiteral("Largest number"));
    EXPECT_EQ(max.iface->text(QAccessible::Value), QStringLiteral("12"));
    ASSERT_NE(max.iface->textInterface(), nullptr);
    EXPECT_EQ(max.iface->textInterface()->text(0, max.iface->textInterface()->characterCount()), QStringLiteral("12"));
    EXPECT_EQ(t.at("cmbMinNum").name, QStringLiteral("Smallest number"));
    EXPECT_EQ(t.at("lstTimer").name, QStringLiteral("Seconds per card"));
}

TEST_F(AccessibilityTest, TheFocusedLabelIsTheFocusedNodeNotItsPanel) {
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    auto t = tree();
    const Found* card = lightweight(t, "Flash card");
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(card->iface->state().focusable);
    EXPECT_TRUE(card->iface->state().focused);
    EXPECT_FALSE(t.at("Frame1").iface->state().focused);
    view.keyboard().tab(true);
    EXPECT_FALSE(card->iface->state().focused);
    EXPECT_TRUE(t.at("picPlus").iface->state().focused);
    EXPECT_FALSE(lightweight(t, "Quilla writes")->iface->state().focusable);  // no stop of its own
}

TEST_F(AccessibilityTest, ChildAtFindsTheLightweightControlUnderAPoint) {
    QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(view.widgetFor("Frame1"));
    ASSERT_NE(frame, nullptr);
    const ui::Control& card = rig["lblClickMe"];
    const QPoint centre = view.widgetFor("Frame1")->mapToGlobal(view.pixelRect(card).center());
    QAccessibleInterface* hit = frame->childAt(centre.x(), centre.y());
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->text(QAccessible::Name), QStringLiteral("Flash card"));
    EXPECT_EQ(hit->parent(), frame);
}

}  // namespace

int main(int argc, char** argv) {
    // The test listing at build time runs without a platform set.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
