// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt binding of the window, on the offscreen platform: where controls
// land, which control a click reaches, how picks and program selections
// raise handlers, auto-size labels, artwork and the platform ports.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <map>
#include <memory>
#include <string>

#include "ui/control.h"
#include "ui/control_table.h"
#include "ui/screen_place.h"
#include "ui/look.h"
#include "qt/form_view.h"
#include "qt/keyboard.h"
#include "ui/placement.h"
#include "qt/ports.h"
#include "qt/qt_platform.h"

namespace {

using ui::Control;
using ui::Controls;
using qt::FormView;

// A window on the real control table whose handlers only count.
struct Window {
    explicit Window(const std::vector<ui::ControlSpec>& table = ui::controlTable()) : controls(table) {
        for (auto& c : controls.all()) {
            const std::string name = c->name();
            c->handler = [this, name] { ++raised[name]; };
        }
        view = std::make_unique<FormView>(
            controls, [this](Control& c) { ++userEvents[c.name()]; c.raise(); }, [this] { ++formClicks; });
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    QWidget* widget(const char* name) const { return view->widgetFor(name); }
    // Clicks through the window, so that Qt picks the widget under the
    // point as it does for a real mouse (QTest::mouseClick on a QWidget
    // would hand the event straight to that widget).
    void clickAt(QWidget* on, QPoint pos) {
        QTest::mouseClick(view->windowHandle(), Qt::LeftButton, {}, on->mapTo(view.get(), pos));
    }
    // A double click: QTest gives the second press the timestamp of a
    // double click, as the X server's timestamps do for a quick hand.
    void doubleClickAt(QWidget* on, QPoint pos) {
        QTest::mouseDClick(view->windowHandle(), Qt::LeftButton, {}, on->mapTo(view.get(), pos));
    }
    // Clicks the middle of a lightweight control.
    void clickMiddleOf(const char* name) {
        const Control& c = controls[name];
        clickAt(view->widgetFor(c.design().container), view->pixelRect(c).center());
    }
    void doubleClickMiddleOf(const char* name) {
        const Control& c = controls[name];
        doubleClickAt(view->widgetFor(c.design().container), view->pixelRect(c).center());
    }
    int count(const std::string& name) { return raised[name]; }
    int total() const {
        int n = 0;
        for (const auto& [name, k] : raised) n += k;
        return n;
    }

    Controls controls;
    std::map<std::string, int> raised;
    std::map<std::string, int> userEvents;
    int formClicks = 0;
    std::unique_ptr<FormView> view;
};

// ---- geometry ----------------------------------------------------------------

TEST(FormViewGeometry, WidgetsSitAtTheirTwipsOverFifteen) {
    Window w;
    // Form level.
    EXPECT_EQ(w.widget("Frame1")->geometry(), QRect(32, 112, 785, 585));
    EXPECT_EQ(w.view->size(), QSize(939, 720));
    // Inside Frame1.
    EXPECT_EQ(w.widget("Command1")->geometry(), QRect(480, 504, 265, 49));
    EXPECT_EQ(w.widget("picPlus")->geometry(), QRect(470, 49, 34, 34));
    EXPECT_EQ(w.widget("Picture1")->geometry(), QRect(34, 442, 68, 61));
    EXPECT_EQ(w.widget("frmSet")->geometry(), QRect(629, 27, 129, 73));
    // Inside the nested frames.
    EXPECT_EQ(w.widget("cmbMaxNum")->geometry(), QRect(66, 22, 51, 31));
    EXPECT_EQ(w.widget("lstTimer")->geometry(), QRect(11, 23, 77, 119));
    EXPECT_EQ(w.widget("lstTimer")->mapTo(w.view.get(), QPoint(0, 0)), QPoint(32 + 19 + 11, 112 + 253 + 23));
    // Lightweight controls are drawn at their table place.
    EXPECT_EQ(w.view->pixelRect(w.controls["lblClickMe"]), QRect(144, 80, 305, 437));
    EXPECT_EQ(w.view->pixelRect(w.controls["lbl1"]), QRect(4, 48, 124, 81));
}

TEST(FormViewGeometry, StartUpPlacementMovesThePanelAndItsContents) {
    Window w;
    // What start-up does on a 1920x1080 screen; the same numbers are what
    // control_rect prints for that screen.
    ui::placeAtStartup(w.controls, 1920 * 15, 1080 * 15);
    EXPECT_EQ(w.widget("Frame1")->geometry(), QRect(568, 248, 785, 585));
    EXPECT_EQ(w.widget("cmbMinNum")->mapTo(w.view.get(), QPoint(0, 0)), QPoint(1205, 297));
    EXPECT_EQ(w.widget("Command1")->mapTo(w.view.get(), QPoint(0, 0)), QPoint(1048, 752));
    EXPECT_EQ(w.view->pixelRect(w.controls["lblKidSafe"]), QRect(568, 207, 785, 41));
}

// ---- clicks and stacking -----------------------------------------------------

TEST(FormViewClicks, FrontMostLabelOrImageTakesTheClick) {
    Window w;
    // The card's invisible click area lies in front of the numbers.
    w.controls["lbln1"].setVisible(true);
    w.clickMiddleOf("lbln1");
    EXPECT_EQ(w.count("lblClickMe"), 1);
    EXPECT_EQ(w.count("lbln1"), 0);
    EXPECT_EQ(w.userEvents["lblClickMe"], 1);

    // A mode button's picture lies behind its transparent click label.
    w.clickMiddleOf("Image4");
    EXPECT_EQ(w.count("lblStandard"), 1);
    EXPECT_EQ(w.count("Image4"), 0);
    EXPECT_EQ(w.count("Label6"), 0);

    // Quilla's picture covers the words under it.
    w.clickMiddleOf("lblQuillaWrites");
    EXPECT_EQ(w.count("img123"), 1);
    EXPECT_EQ(w.count("lblQuillaWrites"), 0);

    EXPECT_EQ(w.total(), 3);
    EXPECT_EQ(w.formClicks, 0);
}

TEST(FormViewClicks, HiddenAndDisabledLabelsLetTheClickThrough) {
    Window w;
    w.controls["lbln1"].setVisible(true);
    w.controls["lblClickMe"].setVisible(false);
    w.clickMiddleOf("lbln1");
    EXPECT_EQ(w.count("lbln1"), 1);

    w.controls["lbln1"].setEnabled(false);
    w.clickMiddleOf("lbln1");
    EXPECT_EQ(w.count("lbln1"), 1);
    EXPECT_EQ(w.total(), 1);
}

TEST(FormViewClicks, RealWidgetsLieInFrontOfLightweightControls) {
    Window w;
    // The operation pictures and the close button are widgets of Frame1.
    w.clickAt(w.widget("Frame1"), QPoint(470 + 17, 49 + 17));
    EXPECT_EQ(w.count("picPlus"), 1);
    QTest::mouseClick(w.widget("Command1"), Qt::LeftButton);
    EXPECT_EQ(w.count("Command1"), 1);
    EXPECT_EQ(w.widget("Command1")->toolTip(), "Click to close program.");
    EXPECT_EQ(w.total(), 2);
    EXPECT_EQ(w.formClicks, 0);
}

TEST(FormViewClicks, BareWindowRaisesFormClickButFramesDoNot) {
    Window w;
    // Right of the panel, nothing but the black window.
    w.clickAt(w.view.get(), QPoint(900, 700));
    EXPECT_EQ(w.formClicks, 1);
    // The lavender of Frame1 between its controls.
    w.clickAt(w.widget("Frame1"), QPoint(780, 10));
    // The bare inside of the range frame.
    w.clickAt(w.widget("frmSet"), QPoint(3, 60));
    EXPECT_EQ(w.formClicks, 1);
    EXPECT_EQ(w.total(), 0);
}

TEST(FormViewClicks, DoubleClickIsOneClickEverywhereButInTheLists) {
    Window w;
    w.doubleClickMiddleOf("lblClickMe");    // a painted label on the panel
    w.doubleClickMiddleOf("img123");        // an image
    w.doubleClickMiddleOf("shpFlash");      // a shape: the card's click label lies over it
    w.doubleClickAt(w.widget("picX"), QPoint(17, 17));
    w.doubleClickAt(w.view.get(), QPoint(900, 700));           // the bare window
    w.doubleClickAt(w.widget("frmSet"), QPoint(3, 60));        // a bare frame
    EXPECT_EQ(w.count("lblClickMe"), 2);
    EXPECT_EQ(w.count("img123"), 1);
    EXPECT_EQ(w.count("picX"), 1);
    EXPECT_EQ(w.formClicks, 1);
    EXPECT_EQ(w.total(), 4);

    // Two single clicks (QTest spaces them beyond the double-click
    // interval) are two clicks.
    w.clickMiddleOf("lblClickMe");
    w.clickMiddleOf("lblClickMe");
    EXPECT_EQ(w.count("lblClickMe"), 4);
    w.clickAt(w.widget("picX"), QPoint(17, 17));
    w.clickAt(w.widget("picX"), QPoint(17, 17));
    EXPECT_EQ(w.count("picX"), 3);

    // The seconds list keeps its rule: each click of a double click picks.
    w.controls["lstTimer"].setEnabled(true);
    auto* list = qobject_cast<QListWidget*>(w.widget("lstTimer"));
    w.doubleClickAt(list->viewport(), list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(w.count("lstTimer"), 2);
}

// A small window of its own: a shape in front of a label, a label without a
// handler, a shape alone on the window.
std::vector<ui::ControlSpec> layeredTable() {
    std::vector<ui::ControlSpec> t(5);
    t[0].name = "form"; t[0].kind = ui::Kind::Form; t[0].width = 600 * 15; t[0].height = 400 * 15;
    t[0].backColor = ui::kBlack;
    t[1].name = "dot"; t[1].kind = ui::Kind::Shape; t[1].container = "form";
    t[1].left = 150; t[1].top = 150; t[1].width = 1500; t[1].height = 1500; t[1].shape = ui::ShapeKind::Dot;
    t[1].fillColor = ui::kDarkGrey;
    t[2].name = "under"; t[2].kind = ui::Kind::Label; t[2].container = "form";
    t[2].left = 0; t[2].top = 0; t[2].width = 3000; t[2].height = 3000; t[2].caption = "under";
    t[3].name = "mute"; t[3].kind = ui::Kind::Label; t[3].container = "form";
    t[3].left = 4500; t[3].top = 0; t[3].width = 1500; t[3].height = 1500; t[3].caption = "mute";
    t[4].name = "lone"; t[4].kind = ui::Kind::Shape; t[4].container = "form";
    t[4].left = 4500; t[4].top = 3000; t[4].width = 1500; t[4].height = 1500; t[4].shape = ui::ShapeKind::Rectangle;
    t[4].borderColor = ui::kWhite;
    return t;
}

TEST(FormViewClicks, ShapesDoNotTakeClicks) {
    const auto table = layeredTable();
    Window w(table);
    w.controls["mute"].handler = nullptr;

    w.clickMiddleOf("dot");  // in front of "under"
    EXPECT_EQ(w.count("under"), 1);
    EXPECT_EQ(w.count("dot"), 0);

    w.clickMiddleOf("lone");  // nothing behind it but the window
    EXPECT_EQ(w.formClicks, 1);
    EXPECT_EQ(w.count("lone"), 0);

    w.clickMiddleOf("mute");  // hit, but nothing to run: not a window click
    EXPECT_EQ(w.formClicks, 1);
    EXPECT_EQ(w.userEvents["mute"], 0);
}

// ---- picks and program selections --------------------------------------------

TEST(FormViewCombo, EveryPickByTheChildRaisesTheHandlerOnce) {
    Window w;
    auto* box = qobject_cast<QComboBox*>(w.widget("cmbMinNum"));
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isEditable());
    EXPECT_EQ(box->count(), 20);
    EXPECT_EQ(box->currentIndex(), -1);  // nothing picked yet, as in the model

    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);  // the closed box steps to the first entry
    EXPECT_EQ(w.count("cmbMinNum"), 1);
    EXPECT_EQ(w.controls["cmbMinNum"].selectedIndex(), 0);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(w.count("cmbMinNum"), 2);
    EXPECT_EQ(w.controls["cmbMinNum"].selectedIndex(), 1);
    QTest::keyClick(box, Qt::Key_Up);
    QTest::keyClick(box, Qt::Key_Up);  // already at the top: no pick
    EXPECT_EQ(w.count("cmbMinNum"), 3);
    EXPECT_EQ(w.controls["cmbMinNum"].selectedIndex(), 0);

    // Picking the entry already shown, from the open list, still counts.
    // Return goes the same way as a mouse pick in the list (both end in the
    // popup's itemSelected); simulated mouse clicks do not reach the popup
    // offscreen, so the key stands in for them here.
    box->showPopup();
    QAbstractItemView* popup = box->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popup->window()));
    EXPECT_EQ(popup->currentIndex().row(), 0);
    QTest::keyClick(popup, Qt::Key_Return);
    EXPECT_EQ(w.count("cmbMinNum"), 4);
    EXPECT_EQ(w.controls["cmbMinNum"].selectedIndex(), 0);
    EXPECT_EQ(w.userEvents["cmbMinNum"], 4);
}

TEST(FormViewCombo, ProgramSelectionShowsWithoutRaisingAgain) {
    Window w;
    auto* box = qobject_cast<QComboBox*>(w.widget("cmbMaxNum"));
    w.controls["cmbMaxNum"].select(9);  // the model raises the handler itself
    EXPECT_EQ(w.count("cmbMaxNum"), 1);
    EXPECT_EQ(w.userEvents["cmbMaxNum"], 0);
    EXPECT_EQ(box->currentIndex(), 9);
    EXPECT_EQ(box->currentText(), "12");
    QCoreApplication::processEvents();
    EXPECT_EQ(w.count("cmbMaxNum"), 1);
}

TEST(FormViewList, PicksByKeyAndMouseRaiseOnceProgramSelectionsDoNot) {
    Window w;
    Control& model = w.controls["lstTimer"];
    auto* list = qobject_cast<QListWidget*>(w.widget("lstTimer"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 5);
    EXPECT_TRUE(list->selectedItems().isEmpty());

    model.select(2);
    EXPECT_EQ(w.count("lstTimer"), 1);
    EXPECT_EQ(list->currentRow(), 2);
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems().first()->text(), "4");

    list->setFocus();
    QTest::keyClick(list->viewport(), Qt::Key_Down);
    EXPECT_EQ(w.count("lstTimer"), 2);
    EXPECT_EQ(model.selectedIndex(), 3);

    // A click on the entry already selected is a pick too, and only one.
    const QPoint third = list->visualItemRect(list->item(3)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third);
    EXPECT_EQ(w.count("lstTimer"), 3);
    const QPoint first = list->visualItemRect(list->item(0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(w.count("lstTimer"), 4);
    EXPECT_EQ(model.selectedIndex(), 0);
    EXPECT_EQ(w.userEvents["lstTimer"], 3);

    model.clearSelectionMark(0);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_EQ(w.count("lstTimer"), 4);
}

TEST(FormViewList, DisabledListTakesNoPicks) {
    Window w;
    w.controls["lstTimer"].setEnabled(false);
    auto* list = qobject_cast<QListWidget*>(w.widget("lstTimer"));
    EXPECT_FALSE(list->isEnabled());
    w.clickAt(list->viewport(), list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(w.count("lstTimer"), 0);
    EXPECT_EQ(w.formClicks, 0);
}

// ---- labels ------------------------------------------------------------------

TEST(FormViewLabels, AutoSizeLabelsFitTheirCaptionAndKeepTheirCorner) {
    Window w;
    Control& label = w.controls["Label3"];
    const int left = label.left(), top = label.top();
    const int width = label.width(), height = label.height();
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    label.setCaption("version 2.2 with a much longer caption");
    EXPECT_EQ(label.left(), left);
    EXPECT_EQ(label.top(), top);
    EXPECT_GT(label.width(), width * 2);
    EXPECT_EQ(label.height(), height);
    const QFontMetrics fm(w.view->fontFor(label));
    EXPECT_NEAR(label.width(), fm.horizontalAdvance("version 2.2 with a much longer caption") * 15, 2 * 15);

    // An empty caption keeps one line's height.
    Control& status = w.controls["lblTimerStatus"];
    status.setCaption("");
    EXPECT_EQ(status.width(), 0);
    EXPECT_GT(status.height(), 0);
}

TEST(FormViewLabels, FixedSizeLabelKeepsItsSize) {
    Window w;
    Control& answer = w.controls["lbln3"];
    answer.setCaption("7");
    EXPECT_EQ(answer.width(), 3120);
    EXPECT_EQ(answer.height(), 1635);
    answer.setCaption("123456");
    EXPECT_EQ(answer.width(), 3120);
}

// Where a rectangle of an image holds dark ink: which columns, left to
// right, and the middle row of the inked rows.
struct Ink {
    std::vector<bool> columns;
    int middleRow = 0;
    int glyphs() const {  // runs of inked columns
        int runs = 0;
        for (std::size_t x = 0; x < columns.size(); ++x) runs += columns[x] && (x == 0 || !columns[x - 1]);
        return runs;
    }
};

Ink inkIn(const QImage& image, const QRect& r) {
    Ink ink{std::vector<bool>(r.width(), false)};
    int top = -1, bottom = -1;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = 0; x < r.width(); ++x)
            if (qGray(image.pixel(r.left() + x, y)) < 128) {
                ink.columns[x] = true;
                bottom = y;
                if (top < 0) top = y;
            }
    ink.middleRow = (top + bottom) / 2;
    return ink;
}

TEST(FormViewLabels, NumbersTooWideForAFixedLabelAreDrawnWholeInASmallerFont) {
    Window w;
    w.controls["frameChoices"].setVisible(true);
    const struct {
        const char* label;
        const char* container;
        int designed;
    } places[] = {{"lbln3", "Frame1", 96}, {"lbl1", "frameChoices", 64}};
    for (const auto& place : places) {
        SCOPED_TRACE(place.label);
        Control& label = w.controls[place.label];
        label.setVisible(true);
        const QRect r = w.view->pixelRect(label);
        int designedMiddle = 0;
        // Every number up to four digits keeps the designed font.
        for (const char* fits : {"24", "8100", "9999"}) {
            label.setCaption(fits);
            EXPECT_EQ(w.view->fontFor(label).pixelSize(), place.designed) << fits;
            designedMiddle = inkIn(w.widget(place.container)->grab().toImage(), r).middleRow;
        }
        label.setCaption("10000");
        const QFont fitted = w.view->fontFor(label);
        EXPECT_LT(fitted.pixelSize(), place.designed);
        EXPECT_GT(fitted.pixelSize(), place.designed * 3 / 4);  // just small enough
        EXPECT_TRUE(fitted.bold());
        const Ink ink = inkIn(w.widget(place.container)->grab().toImage(), r);
        EXPECT_EQ(ink.glyphs(), 5);
        // Wholly inside: no ink in the label's outermost columns, where the
        // clip would cut a glyph.
        EXPECT_FALSE(ink.columns.front());
        EXPECT_FALSE(ink.columns.back());
        EXPECT_NEAR(ink.middleRow, designedMiddle, 3);
        // Back to a number that fits: the designed font again.
        label.setCaption("24");
        EXPECT_EQ(w.view->fontFor(label).pixelSize(), place.designed);
    }
    EXPECT_EQ(w.view->fontFor(w.controls["lbln1"]).pixelSize(), 96);  // auto-size: never scaled
}

TEST(FormViewLabels, FontsComeFromTheTableInPixelsOfTwips) {
    Window w;
    const QFont numbers = w.view->fontFor(w.controls["lbln1"]);
    EXPECT_EQ(numbers.pixelSize(), 96);  // 72pt
    EXPECT_TRUE(numbers.bold());
    EXPECT_EQ(w.view->fontFor(w.controls["lblPress"]).pixelSize(), 13);  // 9.75pt
    // The banner's font does not exist here; a real sans font stands in.
    const QFontInfo banner(w.view->fontFor(w.controls["lblKidSafe"]));
    EXPECT_NE(banner.family(), "MS Sans Serif");
    EXPECT_TRUE(banner.family().contains("Sans")) << banner.family().toStdString();
}

// ---- painting ------------------------------------------------------------------

TEST(FormViewPainting, PaintsBackToFrontWithTransparentLabels) {
    Window w;
    const QImage panel = w.widget("Frame1")->grab().toImage();
    // The card (a white shape) shows through the transparent click label
    // in front of it.
    EXPECT_EQ(panel.pixelColor(200, 100), QColor(Qt::white));
    // The panel's lavender around it.
    EXPECT_EQ(panel.pixelColor(780, 300), QColor(192, 192, 255));
    // The window around the panel is black.
    const QImage window = w.view->grab().toImage();
    EXPECT_EQ(window.pixelColor(900, 700), QColor(Qt::black));
    // The 1px rule of Shape1 at x = 124.
    EXPECT_EQ(panel.pixelColor(124, 300), QColor(Qt::black));

    // Answer tiles take the colour the logic gives them.
    w.controls["frameChoices"].setVisible(true);
    w.controls["lbl1"].setCaption("");
    w.controls["lbl1"].setBackColor(ui::kGreen);
    const QImage choices = w.widget("frameChoices")->grab().toImage();
    const QRect tile = w.view->pixelRect(w.controls["lbl1"]);
    EXPECT_EQ(choices.pixelColor(tile.center()), QColor(0, 255, 0));
}

TEST(FormViewPainting, DisabledLabelsAreDrawnGrey) {
    Window w;
    Control& label = w.controls["lbln3"];
    label.setVisible(true);
    label.setCaption("24");
    const QRect r = w.view->pixelRect(label);
    EXPECT_EQ(inkIn(w.widget("Frame1")->grab().toImage(), r).glyphs(), 2);
    label.setEnabled(false);
    const QImage panel = w.widget("Frame1")->grab().toImage();
    EXPECT_EQ(inkIn(panel, r).glyphs(), 0);  // no dark ink left
    int grey = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) grey += panel.pixelColor(x, y) == QColor(128, 128, 128);
    EXPECT_GT(grey, 100);
}

TEST(FormViewPainting, CloseButtonIsFlatDarkRedUnderEveryStyle) {
    const QString original = QApplication::style()->name();
    for (const char* style : {"fusion", "windows"}) {
        SCOPED_TRACE(style);
        QApplication::setStyle(style);
        Window w;
        const QImage face = w.widget("Command1")->grab().toImage();
        int dark = 0, red = 0;
        for (int y = 2; y < face.height() - 2; ++y)
            for (int x = 2; x < face.width() - 2; ++x) {
                const QColor c = face.pixelColor(x, y);
                red += c == QColor(192, 0, 0);
                dark += qGray(c.rgb()) < 40 && c.red() < 100;
            }
        // The face is all the designed red but for its caption.
        EXPECT_EQ(face.pixelColor(4, face.height() / 2), QColor(192, 0, 0));
        EXPECT_EQ(face.pixelColor(face.width() - 5, 4), QColor(192, 0, 0));
        EXPECT_GT(red, (face.width() - 4) * (face.height() - 4) * 3 / 4);
        EXPECT_GT(dark, 100);  // "Close Program" in black
    }
    QApplication::setStyle(original);
}

// The flat button's edges are worked out once for both desktops; on Linux
// they must be what QColor gives, so that nothing on screen moved.
TEST(FormViewPainting, ButtonShadesAreQColorsLighterAndDarker) {
    for (int r = 0; r < 256; r += 3)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 7) {
                const ui::Color c{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)};
                const QColor light = QColor(r, g, b).lighter(140), dark = QColor(r, g, b).darker(200);
                const ui::Color l = ui::lighter(c, 140), d = ui::darker(c, 200);
                ASSERT_EQ(qRgb(l.r, l.g, l.b), light.rgb()) << r << "," << g << "," << b;
                ASSERT_EQ(qRgb(d.r, d.g, d.b), dark.rgb()) << r << "," << g << "," << b;
            }
}

TEST(FormViewArtwork, PicturesAreEmbeddedAndImagesTakeTheirSize) {
    Window w;
    const QPixmap quilla = w.view->picture("img123");
    ASSERT_FALSE(quilla.isNull());
    EXPECT_EQ(quilla.size(), QSize(199, 272));
    EXPECT_EQ(quilla.toImage().pixelColor(0, 0).alpha(), 0);  // white is transparent
    EXPECT_EQ(w.view->picture("Image2").size(), QSize(90, 39));
    EXPECT_EQ(w.view->picture("picPlus").size(), QSize(32, 32));
    EXPECT_EQ(w.view->picture("Picture1").size(), QSize(68, 61));
    EXPECT_FALSE(w.view->windowIcon().isNull());
    EXPECT_EQ(w.controls["img123"].width(), 199 * 15);
    EXPECT_EQ(w.controls["Image2"].height(), 39 * 15);
    // The pictures are read from their copies decoded at build time: pixel
    // for pixel what the files themselves give.
    for (const auto& c : w.controls.all()) {
        const std::string& file = c->design().picture;
        if (file.empty()) continue;
        SCOPED_TRACE(file);
        const QImage fromFile = QPixmap(QString::fromStdString(file)).toImage();
        ASSERT_FALSE(fromFile.isNull());
        EXPECT_EQ(w.view->picture(c->name()).toImage(), fromFile);
    }
}

TEST(FormViewArtwork, MissingPictureShowsNothing) {
    auto table = layeredTable();
    table[3].kind = ui::Kind::Image;
    table[3].picture = ":/assets/no-such-picture.png";
    Window w(table);
    EXPECT_TRUE(w.view->picture("mute").isNull());
    EXPECT_EQ(w.controls["mute"].width(), 1500);  // keeps its table size
    w.view->grab();                               // and paints without it
}

// ---- model to view -------------------------------------------------------------

TEST(FormViewState, VisibilityEnabledAndFocusFollowTheModel) {
    Window w;
    EXPECT_FALSE(w.widget("frameChoices")->isVisible());
    w.controls["frameChoices"].setVisible(true);
    EXPECT_TRUE(w.widget("frameChoices")->isVisible());
    w.controls["Command1"].setEnabled(false);
    EXPECT_FALSE(w.widget("Command1")->isEnabled());
    w.controls["Command1"].setCaption("Bye");
    EXPECT_EQ(qobject_cast<QPushButton*>(w.widget("Command1"))->text(), "Bye");

    w.view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.view.get()));
    ASSERT_TRUE(w.controls["cmdDummy"].setFocus());
    EXPECT_TRUE(w.widget("cmdDummy")->hasFocus());
}

// ---- keyboard -----------------------------------------------------------------

int ringPixels(QWidget* view) {
    const QImage image = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb ring = qRgb(ui::kFocusRing.r, ui::kFocusRing.g, ui::kFocusRing.b);
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == ring;
    return n;
}

TEST(FormViewKeyboard, SpaceAndEnterPressTheFocusedControlCtrlQTheCloseButton) {
    Window w;
    w.view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.view.get()));
    QWindow* win = w.view->windowHandle();
    qt::KeyboardFocus& keys = w.view->keyboard();
    // The card, a label painted by the panel, has the focus at start.
    EXPECT_EQ(keys.focused(), &w.controls["lblClickMe"]);
    EXPECT_EQ(QApplication::focusWidget(), w.widget("Frame1"));
    QTest::keyClick(win, Qt::Key_Space);
    QTest::keyClick(win, Qt::Key_Return);
    QTest::keyClick(win, Qt::Key_Enter, Qt::KeypadModifier);
    for (Qt::Key other : {Qt::Key_A, Qt::Key_7, Qt::Key_Escape, Qt::Key_Backspace, Qt::Key_Left})
        QTest::keyClick(win, other);
    EXPECT_EQ(w.userEvents["lblClickMe"], 3);

    // Tab to a picture box, a widget: Space presses it as a click does.
    QTest::keyClick(win, Qt::Key_Tab);
    EXPECT_EQ(keys.focused(), &w.controls["picPlus"]);
    QTest::keyClick(win, Qt::Key_Space);
    EXPECT_EQ(w.userEvents["picPlus"], 1);
    QTest::keyClick(win, Qt::Key_Backtab);
    EXPECT_EQ(keys.focused(), &w.controls["lblClickMe"]);

    // Close Program takes no focus; Ctrl+Q is its click.
    EXPECT_EQ(w.widget("Command1")->focusPolicy(), Qt::NoFocus);
    QTest::keyClick(win, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(w.userEvents["Command1"], 1);
    EXPECT_EQ(w.total(), 5);
}

TEST(FormViewKeyboard, TheRingComesWithAKeyAndGoesWithAClick) {
    Window w;
    w.view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.view.get()));
    EXPECT_EQ(ringPixels(w.view.get()), 0);
    // A modifier alone is no key used: Shift or Ctrl held for a click.
    for (Qt::Key modifier : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta})
        QTest::keyClick(w.view->windowHandle(), modifier);
    EXPECT_EQ(ringPixels(w.view.get()), 0);
    QTest::keyClick(w.view->windowHandle(), Qt::Key_Tab);
    // Three pixels wide, round a 34-pixel square, clear of it by one.
    EXPECT_EQ(ringPixels(w.view.get()), 42 * 42 - 36 * 36);
    QTest::mousePress(w.view->windowHandle(), Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(w.view->windowHandle(), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(ringPixels(w.view.get()), 0);
}

TEST(FormViewKeyboard, TheFocusStaysOnTheLoudspeakerAndLeavesWhatIsHidden) {
    Window w;
    w.view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.view.get()));
    qt::KeyboardFocus& keys = w.view->keyboard();
    keys.focus(w.controls["Picture1"]);
    ASSERT_EQ(keys.focused(), &w.controls["Picture1"]);
    // One loudspeaker gives way to the other, the first hidden first.
    w.controls["Picture1"].setVisible(false);
    w.controls["Picture2"].setVisible(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return keys.focused() == &w.controls["Picture2"]; }));
    // A focused answer whose frame is hidden: the next control that can.
    w.controls["frameChoices"].setVisible(true);
    keys.focus(w.controls["lbl6"]);
    ASSERT_EQ(keys.focused(), &w.controls["lbl6"]);
    w.controls["frameChoices"].setVisible(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return keys.focused() == &w.controls["img123"]; }));
}

// ---- platform ports -----------------------------------------------------------

TEST(QtPorts, WindowCoversTheScreenAndCloseEndsTheLoopWithZero) {
    Window w;
    qt::QtWindow window;
    window.attach(w.view.get());
    window.show();
    EXPECT_TRUE(w.view->isVisible());
    EXPECT_EQ(w.view->geometry(), QGuiApplication::primaryScreen()->geometry());
    qt::QtScreen screen;
    EXPECT_EQ(screen.widthTwips(), w.view->width() * 15);

    QTimer::singleShot(0, [&] { window.close(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(7); });  // safety net
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(window.closed());
    EXPECT_FALSE(w.view->isVisible());
}

// Qt's own closes end the program as "Close Program" does: the
// application quit (as at the session's end) and a close by the program.
TEST(QtPorts, QuitAndTheProgramsOwnCloseEndTheLoopWithZero) {
    for (const bool quit : {true, false}) {
        SCOPED_TRACE(quit ? "quit" : "close()");
        Window w;
        qt::QtWindow window;
        window.attach(w.view.get());
        window.show();
        int closes = 0;
        w.view->onClose = [&] {
            ++closes;
            window.close();
        };
        QTimer::singleShot(0, [&] {
            if (quit)
                QCoreApplication::quit();
            else
                w.view->close();
        });
        QTimer safetyNet;  // scoped: it must not end a later test's loop
        safetyNet.callOnTimeout([] { QCoreApplication::exit(7); });
        safetyNet.start(5000);
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_EQ(closes, 1);
        EXPECT_TRUE(window.closed());
    }
}

TEST(QtPorts, AWindowLeftSmallerThanTheScreenIsMadeFramelessWithTheScreensGeometry) {
    // What a window manager that refuses full screen does: a framed window
    // elsewhere. After the grace period the window covers the screen itself.
    Window w;
    qt::QtWindow window;
    window.attach(w.view.get());
    window.show();
    w.view->setWindowState(Qt::WindowNoState);
    w.view->setGeometry(100, 100, 800, 600);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.view->geometry() == screen; }, 5000));
    EXPECT_TRUE(w.view->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(w.view->isVisible());
}

TEST(QtPorts, TimerTicksWhileEventsRunAndStops) {
    qt::QtTimer timer;
    int ticks = 0;
    timer.onTick = [&] { ++ticks; };
    timer.start(10);
    EXPECT_TRUE(timer.active());
    EXPECT_EQ(timer.intervalMs(), 10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 5000));
    timer.stop();
    const int stopped = ticks;
    QTest::qWait(60);
    EXPECT_EQ(ticks, stopped);

    // The timer control drives the port.
    ui::ControlSpec design;
    design.name = "t";
    design.kind = ui::Kind::Timer;
    design.enabled = false;
    Control control(design);
    control.attachTimer(&timer);
    control.setInterval(1000);
    EXPECT_FALSE(timer.active());
    control.setEnabled(true);
    EXPECT_TRUE(timer.active());
    EXPECT_EQ(timer.intervalMs(), 1000);
    control.setEnabled(false);
    EXPECT_FALSE(timer.active());
}

}  // namespace

int main(int argc, char** argv) {
    // ctest sets the platform; the test listing at build time runs without
    // it, and there may be no display then.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
