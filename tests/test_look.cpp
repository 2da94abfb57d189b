// SPDX-License-Identifier: GPL-3.0-or-later
// How each control looks, as both bindings draw it, and the fitting of a
// caption to its label, measured by a fake font.
#include <gtest/gtest.h>

#include <string>

#include "ui/control.h"
#include "ui/control_table.h"
#include "ui/look.h"

namespace {

using ui::Align;
using ui::Color;
using ui::Control;
using ui::ControlSpec;

// Every character is half the size wide, its ink a pixel in from each side;
// the line is a quarter taller than the size.
class FakeMeasure : public ui::TextMeasure {
public:
    ui::TextSize size(int pixels, const std::string& text) const override {
        return {static_cast<int>(text.size()) * pixels / 2, pixels * 5 / 4};
    }
    ui::TextInk ink(int pixels, const std::string& text) const override {
        const int advance = static_cast<int>(text.size()) * pixels / 2;
        return {advance, 1, advance - 2, pixels * 5 / 4};
    }
};

ControlSpec label(int widthPixels, std::string caption, bool autoSize = false) {
    ControlSpec s;
    s.name = "lbl";
    s.width = widthPixels * 15;
    s.height = 600;
    s.caption = std::move(caption);
    s.autoSize = autoSize;
    s.align = Align::Center;
    return s;
}

// Whether a caption at `pixels` lies a pixel clear of each side of a centred label.
bool clear(int pixels, int chars, int width) {
    const int advance = chars * pixels / 2, x = (width - advance) / 2;
    return x + 1 >= 1 && x + advance - 2 <= width - 2;
}

TEST(CaptionFitting, ATooWideCaptionTakesTheLargestSizeThatFitsAndKeepsItsLineCentre) {
    for (const int width : {40, 57, 100, 124}) {
        SCOPED_TRACE(width);
        const ControlSpec spec = label(width, "10000");
        Control c(spec);
        const ui::CaptionFit fit = ui::fitLabel(c, 64, FakeMeasure());
        ASSERT_TRUE(fit.shrunk);
        EXPECT_TRUE(clear(fit.pixels, 5, width));
        EXPECT_FALSE(clear(fit.pixels + 1, 5, width));
        EXPECT_EQ(fit.drop, (64 * 5 / 4 - fit.pixels * 5 / 4) / 2);
        EXPECT_EQ(c.width(), width * 15);  // a fixed label keeps its size
    }
}

TEST(CaptionFitting, ACaptionThatFitsNeverGrowsAndOneTooWideStopsAtOnePixel) {
    const FakeMeasure measure;
    for (const char* caption : {"", "9999", "99"}) {
        const ControlSpec spec = label(130, caption);
        Control c(spec);
        EXPECT_FALSE(ui::fitLabel(c, 64, measure).shrunk) << caption;
    }
    // Ink a pixel past each side is left as it is.
    const ControlSpec edge = label(124, "9999");
    Control e(edge);
    EXPECT_FALSE(ui::fitLabel(e, 64, measure).shrunk);
    const ControlSpec narrow = label(2, "10000");
    Control n(narrow);
    const ui::CaptionFit fit = ui::fitLabel(n, 64, measure);
    EXPECT_TRUE(fit.shrunk);
    EXPECT_EQ(fit.pixels, 1);
}

TEST(CaptionFitting, AnAutoSizeLabelTakesItsCaptionsSizeAndIsNeverShrunk) {
    const ControlSpec spec = label(10, "waiting 3 seconds ...", /*autoSize=*/true);
    Control c(spec);
    EXPECT_FALSE(ui::fitLabel(c, 16, FakeMeasure()).shrunk);
    EXPECT_EQ(c.width(), 21 * 8 * 15);
    EXPECT_EQ(c.height(), 20 * 15);
    c.setCaption("");
    ui::fitLabel(c, 16, FakeMeasure());
    EXPECT_EQ(c.width(), 0);
    EXPECT_EQ(c.height(), 20 * 15);  // an empty caption keeps a line's height
    // At twice the scale the model still sees design twips.
    c.setCaption("ab");
    ui::fitLabel(c, 32, FakeMeasure(), 192);
    EXPECT_EQ(c.width(), 32 * 15 / 2);
}

TEST(ControlLook, LabelsAreTransparentWithoutABackColourGreyWhenDisabledAndWrapWhenFixed) {
    ControlSpec s = label(100, "Standard");
    Control plain(s);
    ui::LabelLook look = ui::labelLook(plain, {});
    EXPECT_FALSE(look.fill);
    EXPECT_EQ(look.ink, ui::kWindowText);
    EXPECT_EQ(look.align, Align::Center);
    EXPECT_TRUE(look.wrap);
    EXPECT_EQ(look.text, (ui::Rect{0, 0, 100, 40}));
    // A fitted caption stays on one line, moved down.
    const ui::LabelLook fitted = ui::labelLook(plain, {true, 20, 6}, 192);
    EXPECT_FALSE(fitted.wrap);
    EXPECT_EQ(fitted.text, (ui::Rect{0, 6, 200, 86}));
    s.backColor = ui::kWhite;
    s.foreColor = ui::kDarkGreen;
    Control tile(s);
    look = ui::labelLook(tile, {});
    EXPECT_EQ(look.fill, ui::kWhite);
    EXPECT_EQ(look.ink, ui::kDarkGreen);
    tile.setEnabled(false);
    EXPECT_EQ(ui::labelLook(tile, {}).ink, ui::kDisabledText);
    s.autoSize = true;
    Control grown(s);
    EXPECT_FALSE(ui::labelLook(grown, {}).wrap);
}

TEST(ControlLook, TheCloseButtonsEdgesAreItsRedLightenedAndDarkenedAndSwapWhenHeld) {
    const ui::Controls controls(ui::controlTable());
    const Control& close = controls["Command1"];
    const ui::ButtonLook up = ui::buttonLook(close, false, 80, 30), down = ui::buttonLook(close, true, 160, 60, 192);
    EXPECT_EQ(up.face, ui::kDarkRed);
    for (int i : {0, 1}) {
        EXPECT_EQ(up.edges[i].color, (Color{255, 14, 14}));
        EXPECT_EQ(up.edges[i + 2].color, (Color{96, 0, 0}));
        EXPECT_EQ(down.edges[i].color, up.edges[i + 2].color);
        EXPECT_EQ(down.edges[i + 2].color, up.edges[i].color);
    }
    EXPECT_EQ(up.edges[2].rect, (ui::Rect{0, 29, 80, 30}));
    EXPECT_EQ(down.edges[3].rect, (ui::Rect{158, 0, 160, 60}));
    EXPECT_EQ(up.sink, 0);
    EXPECT_EQ(down.sink, 2);
    // The design's other colours: paling past full brightness, greys staying grey.
    EXPECT_EQ(ui::lighter(ui::kLavender, 140), ui::kWhite);
    EXPECT_EQ(ui::darker(ui::kLavender, 200), (Color{96, 96, 127}));
    EXPECT_EQ(ui::lighter(ui::kDarkGrey, 140), (Color{90, 90, 90}));
    EXPECT_EQ(ui::darker(ui::kDarkGreen, 200), (Color{0, 32, 0}));
    EXPECT_EQ(ui::lighter(ui::kBlack, 140), ui::kBlack);
}

TEST(ControlLook, ShapesFramesAndArtworkFollowTheTable) {
    const ui::Controls controls(ui::controlTable());
    // The number table's rules are one pixel thin: solid.
    EXPECT_EQ(ui::borderBars({0, 0, 124, 1}, 1).size(), 1u);
    const auto bars = ui::borderBars({10, 20, 110, 70}, 2);
    ASSERT_EQ(bars.size(), 4u);
    EXPECT_EQ(bars[1], (ui::Rect{10, 68, 110, 70}));
    EXPECT_EQ(bars[3], (ui::Rect{108, 20, 110, 70}));
    const ui::ShapeLook card = ui::shapeLook(controls["shpFlash"], 144), dot = ui::shapeLook(controls["shpAddition"]);
    EXPECT_EQ(card.borderWidth, 3);
    EXPECT_EQ(card.fill, ui::kWhite);
    EXPECT_EQ(dot.fill, ui::kDarkGrey);
    EXPECT_EQ(ui::lineLook(controls["Line1"]).width, 6);
    // A line's rectangle is the box round its ends; it may paint its round
    // caps' reach past that.
    EXPECT_EQ(ui::drawnRect(controls["Line1"]), (ui::Rect{199, 309, 361, 311}));
    EXPECT_EQ(ui::paintBounds(controls["Line1"]), (ui::Rect{191, 301, 369, 319}));
    EXPECT_EQ(ui::paintBounds(controls["lblClickMe"], 192).left, ui::drawnRect(controls["lblClickMe"], 192).left - 4);
    // A bordered frame: the etch's top runs through the caption's middle.
    const Control& frame = controls["frmSet"];
    const ui::FrameLook look = ui::frameLook(frame, 200, 100, 40, 14, 192);
    EXPECT_TRUE(look.etched);
    EXPECT_EQ(look.shadow, (ui::Rect{0, 7, 198, 98}));
    EXPECT_EQ(look.light, (ui::Rect{2, 9, 200, 100}));
    EXPECT_EQ(look.caption, (ui::Rect{16, 0, 64, 14}));
    EXPECT_EQ(look.back, ui::kLavender);
    EXPECT_FALSE(ui::frameLook(controls["frmSplash"], 200, 100, 0, 0).etched);  // the window: only its colour
    // On a phone's small scale a one-pixel etch, border and edge still show.
    EXPECT_EQ(ui::frameLook(frame, 90, 50, 20, 7, 40).line, 1);
    EXPECT_EQ(ui::shapeLook(controls["Shape1"], 40).borderWidth, 1);
    EXPECT_EQ(ui::scaledPixels(0, 40), 0);
    // The drawing's white shows what lies behind it; the buttons' artwork is opaque.
    EXPECT_EQ(ui::clearColor(controls["img123"]), ui::kWhite);
    EXPECT_FALSE(ui::clearColor(controls["Image1"]));
    EXPECT_EQ(ui::pictureBoxBack(controls, controls["picPlus"]), controls[controls["picPlus"].design().container].backColor());
    EXPECT_EQ(ui::centred(100, 50, 31, 20), (ui::Rect{34, 15, 65, 35}));
    ui::Controls mine(ui::controlTable());
    ui::fitPicture(mine["img123"], 100, 120);
    ui::fitPicture(mine["picPlus"], 100, 120);  // a picture box keeps its size
    EXPECT_EQ(mine["img123"].width(), 1500);
    EXPECT_EQ(mine["img123"].height(), 1800);
    EXPECT_EQ(mine["picPlus"].width(), controls["picPlus"].width());
}

}  // namespace
