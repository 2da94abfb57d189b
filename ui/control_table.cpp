// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/control_table.h"

#include <cmath>

namespace ui {
namespace {

// A small builder so that each row of the table reads like the design.
struct Row {
    ControlSpec s;
    Row(std::string name, Kind kind, std::string container, int l, int t, int w, int h) {
        s.name = std::move(name);
        s.kind = kind;
        s.container = std::move(container);
        s.left = l;
        s.top = t;
        s.width = w;
        s.height = h;
    }
    Row& caption(std::string c) { s.caption = std::move(c); return *this; }
    Row& tooltip(std::string t) { s.tooltip = std::move(t); return *this; }
    Row& font(std::string family, double pt, bool bold = false) {
        s.font = Font{std::move(family), pt, bold};
        return *this;
    }
    Row& fore(Color c) { s.foreColor = c; return *this; }
    Row& back(Color c) { s.backColor = c; return *this; }
    Row& centred() { s.align = Align::Center; return *this; }
    Row& right() { s.align = Align::Right; return *this; }
    Row& autoSize() { s.autoSize = true; return *this; }
    Row& hidden() { s.visible = false; return *this; }
    Row& disabled() { s.enabled = false; return *this; }
    Row& shape(ShapeKind k) { s.shape = k; return *this; }
    Row& border(Color c, int px) { s.borderColor = c; s.borderPixels = px; return *this; }
    Row& fill(Color c) { s.fillColor = c; return *this; }
    Row& bordered() { s.bordered = true; return *this; }
    Row& graphical() { s.graphical = true; return *this; }
    Row& items(std::vector<std::string> i) { s.items = std::move(i); return *this; }
    Row& picture(std::string p) { s.picture = std::move(p); return *this; }
    Row& shortcut(std::string keys) { s.shortcut = std::move(keys); return *this; }
    operator ControlSpec() const { return s; }
};

const char* const kComic = "Comic Sans MS";
const char* const kTimes = "Times New Roman";

Row dot(std::string name, int l, int t) {
    return Row(std::move(name), Kind::Shape, "Frame1", l, t, 120, 120)
        .shape(ShapeKind::Dot)
        .border(kDarkGrey, 1)
        .fill(kDarkGrey)
        .back(kDarkGrey);
}

Row tile(std::string name, int l, int t) {
    return Row(std::move(name), Kind::Label, "frameChoices", l, t, 1860, 1215)
        .font(kTimes, 48, true)
        .back(kWhite)
        .centred();
}

std::vector<ControlSpec> build() {
    std::vector<ControlSpec> t;
    // The window itself.
    t.push_back(Row("frmSplash", Kind::Form, "", 0, 0, kDesignWidth, kDesignHeight)
                    .back(kBlack)
                    .picture(":/assets/abacorn.ico"));

    // Controls of the window, front to back.
    t.push_back(Row("cmdDummy", Kind::Button, "frmSplash", 12480, 2400, 1380, 615).caption("cdmDummy"));
    t.push_back(Row("Timer1", Kind::Timer, "frmSplash", 0, 0, 0, 0).disabled());
    t.push_back(Row("Frame1", Kind::Frame, "frmSplash", 480, 1680, 11775, 8775).back(kLavender));
    t.push_back(Row("lblKidSafe", Kind::Label, "frmSplash", 480, 960, 11775, 615)
                    .caption("Kid Safe And Completely Free")
                    .font("MS Sans Serif", 24, true)
                    .back(kBlack)
                    .fore(kSilver)
                    .centred());

    // Controls of the main panel, front to back.
    t.push_back(Row("Command1", Kind::Button, "Frame1", 7200, 7560, 3975, 735)
                    .caption("Close Program")
                    .tooltip("Click to close program.")
                    .shortcut("Ctrl+Q")
                    .font(kComic, 15.75, true)
                    .graphical()
                    .back(kDarkRed));
    t.push_back(Row("picDivide", Kind::PictureBox, "Frame1", 8760, 735, 510, 510).picture(":/assets/divide.bmp"));
    t.push_back(Row("picPlus", Kind::PictureBox, "Frame1", 7050, 735, 510, 510).picture(":/assets/plus.bmp"));
    t.push_back(Row("picMinus", Kind::PictureBox, "Frame1", 7620, 735, 510, 510).picture(":/assets/minus.bmp"));
    t.push_back(Row("picX", Kind::PictureBox, "Frame1", 8190, 735, 510, 510).picture(":/assets/times.bmp"));
    t.push_back(Row("frmSet", Kind::Frame, "Frame1", 9435, 405, 1935, 1095)
                    .caption("Min/Max Number")
                    .font(kComic, 9.75)
                    .back(kLavender)
                    .bordered());
    t.push_back(Row("frameChoices", Kind::Frame, "Frame1", 7170, 1950, 4545, 5430)
                    .caption("Frame1")
                    .back(kLavender)
                    .hidden());
    t.push_back(Row("frameTimer", Kind::Frame, "Frame1", 285, 3795, 1485, 2415)
                    .caption(" timer (secs)")
                    .font(kComic, 9.75)
                    .back(kLavender)
                    .bordered());
    t.push_back(Row("Picture1", Kind::PictureBox, "Frame1", 510, 6630, 1020, 915).picture(":/assets/speaker_on.jpg"));
    t.push_back(
        Row("Picture2", Kind::PictureBox, "Frame1", 510, 6630, 1035, 915).picture(":/assets/speaker_off.jpg").hidden());
    t.push_back(Row("lblClickMe", Kind::Label, "Frame1", 2160, 1200, 4575, 6555));
    t.push_back(Row("Label3", Kind::Label, "Frame1", 360, 120, 1215, 345)
                    .caption("version 2.2")
                    .font(kComic, 12)
                    .back(kLavender)
                    .autoSize());
    t.push_back(Row("lblTimer", Kind::Label, "Frame1", 270, 2985, 1500, 705).font(kComic, 9.75).centred());
    t.push_back(Row("lblStandard", Kind::Label, "Frame1", 300, 2130, 1410, 705).font(kComic, 9.75).centred());
    t.push_back(Row("lblInteractive", Kind::Label, "Frame1", 300, 1320, 1410, 705).font(kComic, 9.75).centred());
    t.push_back(Row("Shape1", Kind::Shape, "Frame1", 1860, 135, 15, 8310)
                    .shape(ShapeKind::Rectangle)
                    .border(kWindowText, 1));
    t.push_back(Row("lbln1", Kind::Label, "Frame1", 3855, 1275, 1440, 1635)
                    .caption("99")
                    .font(kTimes, 72, true)
                    .right()
                    .autoSize()
                    .hidden());
    t.push_back(Row("lbln2", Kind::Label, "Frame1", 3855, 2805, 1440, 1635)
                    .caption("99")
                    .font(kTimes, 72, true)
                    .right()
                    .autoSize()
                    .hidden());
    t.push_back(Row("lblOperation", Kind::Label, "Frame1", 2910, 2805, 855, 1635)
                    .caption("+")
                    .font(kTimes, 72, true)
                    .centred()
                    .autoSize());
    t.push_back(Row("Line1", Kind::Line, "Frame1", 2985, 4635, 5400, 4650).border(kWindowText, 6));
    t.push_back(Row("lbln3", Kind::Label, "Frame1", 2175, 4845, 3120, 1635)
                    .caption("9999")
                    .font(kTimes, 72, true)
                    .right()
                    .hidden());
    t.push_back(Row("lblTimerStatus", Kind::Label, "Frame1", 3435, 6795, 2055, 285)
                    .caption("waiting 3 seconds ...")
                    .font(kComic, 9.75, true)
                    .centred()
                    .autoSize()
                    .fore(kDarkGrey));
    t.push_back(Row("lblPress", Kind::Label, "Frame1", 3735, 6795, 1380, 270)
                    .caption("click flashcard")
                    .font(kComic, 9.75)
                    .centred()
                    .autoSize());
    t.push_back(Row("img123", Kind::Image, "Frame1", 7620, 2430, 2985, 4080).picture(":/assets/quilla.gif"));
    t.push_back(Row("lblAddition", Kind::Label, "Frame1", 7860, 1395, 750, 270)
                    .caption("addition")
                    .font(kComic, 9.75)
                    .centred()
                    .autoSize());
    t.push_back(Row("lblQuillaWrites", Kind::Label, "Frame1", 9240, 4980, 1590, 270)
                    .caption("Quilla writes ...")
                    .font(kComic, 9.75)
                    .centred()
                    .autoSize());
    t.push_back(dot("shpAddition", 7260, 555));
    t.push_back(dot("shpDivision", 8940, 555).hidden());
    t.push_back(dot("shpSubtraction", 7740, 555).hidden());
    t.push_back(dot("shpMultiplication", 8340, 555).hidden());
    t.push_back(Row("lblZindle", Kind::Label, "Frame1", 2760, 120, 3330, 780)
                    .caption("Abacorn")
                    .font(kComic, 27.75)
                    .centred()
                    .autoSize()
                    .fore(kBlack));
    t.push_back(Row("Label10", Kind::Label, "Frame1", 480, 1440, 1035, 270)
                    .caption("Interactive")
                    .font(kComic, 9.75)
                    .centred()
                    .autoSize()
                    .fore(kBlack));
    t.push_back(Row("Label6", Kind::Label, "Frame1", 555, 2370, 870, 270)
                    .caption("Standard")
                    .font(kComic, 9.75)
                    .centred()
                    .autoSize()
                    .fore(kWindowText));
    t.push_back(Row("Label7", Kind::Label, "Frame1", 690, 3195, 555, 270)
                    .caption("Timer")
                    .font(kComic, 9.75)
                    .centred()
                    .autoSize()
                    .fore(kBlack));
    t.push_back(dot("shapeInteractive", 165, 1515).hidden());
    t.push_back(dot("ShapeStandard", 150, 2430));
    t.push_back(dot("ShapeTimer", 165, 3270).hidden());
    t.push_back(Row("Label1", Kind::Label, "Frame1", 270, 510, 1305, 600)
                    .caption("Modes")
                    .font(kComic, 21.75)
                    .autoSize()
                    .fore(kDarkGreen));
    t.push_back(Row("Label2", Kind::Label, "Frame1", 3480, 8040, 2115, 345)
                    .font(kComic, 12)
                    .back(kLavender)
                    .autoSize());
    t.push_back(Row("Shape2", Kind::Shape, "Frame1", 0, 6375, 1860, 15)
                    .shape(ShapeKind::Rectangle)
                    .border(kWindowText, 1));
    t.push_back(Row("shpFlash", Kind::Shape, "Frame1", 2040, 1080, 4695, 6765)
                    .shape(ShapeKind::RoundedRectangle)
                    .fill(kWhite)
                    .border(kDarkGrey, 2));
    t.push_back(Row("Image2", Kind::Image, "Frame1", 315, 1350, 1350, 585).picture(":/assets/button.bmp"));
    t.push_back(Row("Image4", Kind::Image, "Frame1", 300, 2190, 1350, 585).picture(":/assets/button.bmp"));
    t.push_back(Row("Image1", Kind::Image, "Frame1", 300, 3030, 1350, 585).picture(":/assets/button.bmp"));

    // The range frame.
    t.push_back(Row("cmbMaxNum", Kind::ComboBox, "frmSet", 990, 330, 765, 465)
                    .font(kComic, 12)
                    .items({"3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "20", "30", "40",
                            "50", "60", "70", "80", "90", "100"}));
    t.push_back(Row("cmbMinNum", Kind::ComboBox, "frmSet", 120, 330, 765, 465)
                    .font(kComic, 12)
                    .items({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "15", "20", "30", "40", "50", "60",
                            "70", "80", "90"}));

    // The answer choices, front to back.
    t.push_back(Row("Label4", Kind::Label, "frameChoices", 480, 60, 3375, 600)
                    .caption("possible answers")
                    .font(kComic, 21.75)
                    .autoSize()
                    .fore(kDarkGreen));
    t.push_back(tile("lbl5", 60, 3990));
    t.push_back(tile("lbl6", 2220, 3990));
    t.push_back(tile("lbl3", 60, 2340));
    t.push_back(tile("lbl4", 2220, 2340));
    t.push_back(tile("lbl2", 2220, 690));
    t.push_back(tile("lbl1", 60, 720));

    // The seconds list.
    t.push_back(Row("lstTimer", Kind::ListBox, "frameTimer", 165, 345, 1155, 1785)
                    .font(kComic, 12)
                    .items({"2", "3", "4", "5", "6"}));
    return t;
}

}  // namespace

const std::vector<std::vector<std::string>>& tabOrder() {
    static const std::vector<std::vector<std::string>> order = {
        // The left column, top to bottom.
        {"lblInteractive"}, {"lblStandard"}, {"lblTimer"}, {"lstTimer"}, {"Picture1", "Picture2"},
        // The card.
        {"lblClickMe"},
        // The right side, top to bottom: the operations, the range, then the
        // answers in reading order (interactive mode) or the drawing.
        {"picPlus"}, {"picMinus"}, {"picX"}, {"picDivide"}, {"cmbMinNum"}, {"cmbMaxNum"},
        {"lbl1"}, {"lbl2"}, {"lbl3"}, {"lbl4"}, {"lbl5"}, {"lbl6"}, {"img123"},
    };
    return order;
}

const std::vector<ControlSpec>& controlTable() {
    static const std::vector<ControlSpec> table = build();
    return table;
}

void placeAtStartup(Controls& controls, int screenWidthTwips, int screenHeightTwips) {
    Control& panel = controls["Frame1"];
    Control& banner = controls["lblKidSafe"];
    panel.setLeft(static_cast<int>(std::lround(screenWidthTwips / 2.0 - panel.width() / 2.0)));
    panel.setTop(static_cast<int>(std::lround(screenHeightTwips / 2.0 - panel.height() / 2.0)));
    banner.setLeft(panel.left());
    banner.setTop(panel.top() - banner.height());
}

}  // namespace ui
