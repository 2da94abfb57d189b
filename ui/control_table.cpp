// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/control_table.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <optional>
#include <span>


namespace ui {
namespace {

struct Place {
    int left, top, width, height;  // twips
};

// One row of the table as constant data: literals only, so that the table
// costs the compiler next to nothing. controlTable() makes the model's
// ControlSpec of each row once, at first use.
struct Row {
    const char* name;
    Kind kind;
    const char* container;
    Place at;
    const char* caption = "";
    const char* tooltip = "";
    struct {
        const char* family = "";
        double points = 0;
        bool bold = false;
    } font{};
    std::optional<Color> fore{};
    std::optional<Color> back{};
    Align align = Align::Left;
    bool autoSize = false;
    bool hidden = false;
    bool disabled = false;
    ShapeKind shape = ShapeKind::None;
    std::optional<Color> border{};
    int borderPixels = 1;
    std::optional<Color> fill{};
    bool bordered = false;
    bool graphical = false;
    std::span<const char* const> items{};
    const char* picture = "";
    std::optional<Color> clear{};
    const char* shortcut = "";
};

constexpr const char* kComic = "Comic Sans MS";
constexpr const char* kTimes = "Times New Roman";

constexpr Row dot(const char* name, int left, int top, bool hidden = false) {
    return {.name = name, .kind = Kind::Shape, .container = "Frame1", .at = {left, top, 120, 120},
            .back = kDarkGrey, .hidden = hidden, .shape = ShapeKind::Dot, .border = kDarkGrey, .fill = kDarkGrey};
}

constexpr Row tile(const char* name, int left, int top) {
    return {.name = name, .kind = Kind::Label, .container = "frameChoices", .at = {left, top, 1860, 1215},
            .font = {kTimes, 48, true}, .back = kWhite, .align = Align::Center};
}

// A line of small centred words on the panel.
constexpr Row note(const char* name, Place at, const char* caption, std::optional<Color> fore = {}) {
    return {.name = name, .kind = Kind::Label, .container = "Frame1", .at = at, .caption = caption,
            .font = {kComic, 9.75}, .fore = fore, .align = Align::Center, .autoSize = true};
}

// A large number on the card.
constexpr Row number(const char* name, Place at, const char* caption, Align align, bool autoSize, bool hidden) {
    return {.name = name, .kind = Kind::Label, .container = "Frame1", .at = at, .caption = caption,
            .font = {kTimes, 72, true}, .align = align, .autoSize = autoSize, .hidden = hidden};
}

constexpr const char* kMaxNumbers[] = {"3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12", "13",
                                       "14", "15", "20", "30", "40", "50", "60", "70", "80", "90", "100"};
constexpr const char* kMinNumbers[] = {"0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",
                                       "10", "15", "20", "30", "40", "50", "60", "70", "80", "90"};
constexpr const char* kSeconds[] = {"2", "3", "4", "5", "6"};

constexpr Row kRows[] = {
    // The window itself.
    {.name = "frmSplash", .kind = Kind::Form, .container = "", .at = {0, 0, kDesignWidth, kDesignHeight},
     .back = kBlack, .picture = ":/assets/abacorn.ico"},

    // Controls of the window, front to back.
    {.name = "cmdDummy", .kind = Kind::Button, .container = "frmSplash", .at = {12480, 2400, 1380, 615},
     .caption = "cdmDummy"},
    {.name = "Timer1", .kind = Kind::Timer, .container = "frmSplash", .at = {0, 0, 0, 0}, .disabled = true},
    {.name = "Frame1", .kind = Kind::Frame, .container = "frmSplash", .at = {480, 1680, 11775, 8775},
     .back = kLavender},
    {.name = "lblKidSafe", .kind = Kind::Label, .container = "frmSplash", .at = {480, 960, 11775, 615},
     .caption = "Kid Safe And Completely Free", .font = {"MS Sans Serif", 24, true}, .fore = kSilver,
     .back = kBlack, .align = Align::Center},

    // Controls of the main panel, front to back.
    {.name = "Command1", .kind = Kind::Button, .container = "Frame1", .at = {7200, 7560, 3975, 735},
     .caption = "Close Program", .tooltip = "Click to close program.", .font = {kComic, 15.75, true},
     .back = kDarkRed, .graphical = true, .shortcut = "Ctrl+Q"},
    {.name = "picDivide", .kind = Kind::PictureBox, .container = "Frame1", .at = {8760, 735, 510, 510},
     .picture = ":/assets/divide.bmp"},
    {.name = "picPlus", .kind = Kind::PictureBox, .container = "Frame1", .at = {7050, 735, 510, 510},
     .picture = ":/assets/plus.bmp"},
    {.name = "picMinus", .kind = Kind::PictureBox, .container = "Frame1", .at = {7620, 735, 510, 510},
     .picture = ":/assets/minus.bmp"},
    {.name = "picX", .kind = Kind::PictureBox, .container = "Frame1", .at = {8190, 735, 510, 510},
     .picture = ":/assets/times.bmp"},
    {.name = "frmSet", .kind = Kind::Frame, .container = "Frame1", .at = {9435, 405, 1935, 1095},
     .caption = "Min/Max Number", .font = {kComic, 9.75}, .back = kLavender, .bordered = true},
    {.name = "frameChoices", .kind = Kind::Frame, .container = "Frame1", .at = {7170, 1950, 4545, 5430},
     .caption = "Frame1", .back = kLavender, .hidden = true},
    {.name = "frameTimer", .kind = Kind::Frame, .container = "Frame1", .at = {285, 3795, 1485, 2415},
     .caption = " timer (secs)", .font = {kComic, 9.75}, .back = kLavender, .bordered = true},
    {.name = "Picture1", .kind = Kind::PictureBox, .container = "Frame1", .at = {510, 6630, 1020, 915},
     .picture = ":/assets/speaker_on.jpg"},
    {.name = "Picture2", .kind = Kind::PictureBox, .container = "Frame1", .at = {510, 6630, 1035, 915},
     .hidden = true, .picture = ":/assets/speaker_off.jpg"},
    {.name = "lblClickMe", .kind = Kind::Label, .container = "Frame1", .at = {2160, 1200, 4575, 6555}},
    {.name = "Label3", .kind = Kind::Label, .container = "Frame1", .at = {360, 120, 1215, 345},
     .caption = "version 2.2", .font = {kComic, 12}, .back = kLavender, .autoSize = true},
    {.name = "lblTimer", .kind = Kind::Label, .container = "Frame1", .at = {270, 2985, 1500, 705},
     .font = {kComic, 9.75}, .align = Align::Center},
    {.name = "lblStandard", .kind = Kind::Label, .container = "Frame1", .at = {300, 2130, 1410, 705},
     .font = {kComic, 9.75}, .align = Align::Center},
    {.name = "lblInteractive", .kind = Kind::Label, .container = "Frame1", .at = {300, 1320, 1410, 705},
     .font = {kComic, 9.75}, .align = Align::Center},
    {.name = "Shape1", .kind = Kind::Shape, .container = "Frame1", .at = {1860, 135, 15, 8310},
     .shape = ShapeKind::Rectangle, .border = kWindowText},
    number("lbln1", {3855, 1275, 1440, 1635}, "99", Align::Right, /*autoSize=*/true, /*hidden=*/true),
    number("lbln2", {3855, 2805, 1440, 1635}, "99", Align::Right, /*autoSize=*/true, /*hidden=*/true),
    number("lblOperation", {2910, 2805, 855, 1635}, "+", Align::Center, /*autoSize=*/true, /*hidden=*/false),
    {.name = "Line1", .kind = Kind::Line, .container = "Frame1", .at = {2985, 4635, 5400, 4650},
     .border = kWindowText, .borderPixels = 6},
    number("lbln3", {2175, 4845, 3120, 1635}, "9999", Align::Right, /*autoSize=*/false, /*hidden=*/true),
    {.name = "lblTimerStatus", .kind = Kind::Label, .container = "Frame1", .at = {3435, 6795, 2055, 285},
     .caption = "waiting 3 seconds ...", .font = {kComic, 9.75, true}, .fore = kDarkGrey, .align = Align::Center,
     .autoSize = true},
    note("lblPress", {3735, 6795, 1380, 270}, "click flashcard"),
    {.name = "img123", .kind = Kind::Image, .container = "Frame1", .at = {7620, 2430, 2985, 4080},
     .picture = ":/assets/quilla.gif", .clear = kWhite},
    note("lblAddition", {7860, 1395, 750, 270}, "addition"),
    note("lblQuillaWrites", {9240, 4980, 1590, 270}, "Quilla writes ..."),
    dot("shpAddition", 7260, 555),
    dot("shpDivision", 8940, 555, /*hidden=*/true),
    dot("shpSubtraction", 7740, 555, /*hidden=*/true),
    dot("shpMultiplication", 8340, 555, /*hidden=*/true),
    {.name = "lblZindle", .kind = Kind::Label, .container = "Frame1", .at = {2760, 120, 3330, 780},
     .caption = "Abacorn", .font = {kComic, 27.75}, .fore = kBlack, .align = Align::Center, .autoSize = true},
    note("Label10", {480, 1440, 1035, 270}, "Interactive", kBlack),
    note("Label6", {555, 2370, 870, 270}, "Standard", kWindowText),
    note("Label7", {690, 3195, 555, 270}, "Timer", kBlack),
    dot("shapeInteractive", 165, 1515, /*hidden=*/true),
    dot("ShapeStandard", 150, 2430),
    dot("ShapeTimer", 165, 3270, /*hidden=*/true),
    {.name = "Label1", .kind = Kind::Label, .container = "Frame1", .at = {270, 510, 1305, 600}, .caption = "Modes",
     .font = {kComic, 21.75}, .fore = kDarkGreen, .autoSize = true},
    {.name = "Label2", .kind = Kind::Label, .container = "Frame1", .at = {3480, 8040, 2115, 345},
     .font = {kComic, 12}, .back = kLavender, .autoSize = true},
    {.name = "Shape2", .kind = Kind::Shape, .container = "Frame1", .at = {0, 6375, 1860, 15},
     .shape = ShapeKind::Rectangle, .border = kWindowText},
    {.name = "shpFlash", .kind = Kind::Shape, .container = "Frame1", .at = {2040, 1080, 4695, 6765},
     .shape = ShapeKind::RoundedRectangle, .border = kDarkGrey, .borderPixels = 2, .fill = kWhite},
    {.name = "Image2", .kind = Kind::Image, .container = "Frame1", .at = {315, 1350, 1350, 585},
     .picture = ":/assets/button.bmp"},
    {.name = "Image4", .kind = Kind::Image, .container = "Frame1", .at = {300, 2190, 1350, 585},
     .picture = ":/assets/button.bmp"},
    {.name = "Image1", .kind = Kind::Image, .container = "Frame1", .at = {300, 3030, 1350, 585},
     .picture = ":/assets/button.bmp"},

    // The range frame.
    {.name = "cmbMaxNum", .kind = Kind::ComboBox, .container = "frmSet", .at = {990, 330, 765, 465},
     .font = {kComic, 12}, .items = kMaxNumbers},
    {.name = "cmbMinNum", .kind = Kind::ComboBox, .container = "frmSet", .at = {120, 330, 765, 465},
     .font = {kComic, 12}, .items = kMinNumbers},

    // The answer choices, front to back.
    {.name = "Label4", .kind = Kind::Label, .container = "frameChoices", .at = {480, 60, 3375, 600},
     .caption = "possible answers", .font = {kComic, 21.75}, .fore = kDarkGreen, .autoSize = true},
    tile("lbl5", 60, 3990),
    tile("lbl6", 2220, 3990),
    tile("lbl3", 60, 2340),
    tile("lbl4", 2220, 2340),
    tile("lbl2", 2220, 690),
    tile("lbl1", 60, 720),

    // The seconds list.
    {.name = "lstTimer", .kind = Kind::ListBox, .container = "frameTimer", .at = {165, 345, 1155, 1785},
     .font = {kComic, 12}, .items = kSeconds},
};

void fill(ControlSpec& s, const Row& r) {
    s.name = r.name;
    s.kind = r.kind;
    s.container = r.container;
    s.left = r.at.left;
    s.top = r.at.top;
    s.width = r.at.width;
    s.height = r.at.height;
    s.caption = r.caption;
    s.tooltip = r.tooltip;
    s.font.family = r.font.family;
    s.font.points = r.font.points;
    s.font.bold = r.font.bold;
    s.foreColor = r.fore;
    s.backColor = r.back;
    s.align = r.align;
    s.autoSize = r.autoSize;
    s.visible = !r.hidden;
    s.enabled = !r.disabled;
    s.shape = r.shape;
    s.borderColor = r.border;
    s.borderPixels = r.borderPixels;
    s.fillColor = r.fill;
    s.bordered = r.bordered;
    s.graphical = r.graphical;
    s.items.assign(r.items.data(), r.items.data() + r.items.size());
    s.picture = r.picture;
    s.clearColor = r.clear;
    s.shortcut = r.shortcut;
}

// The keyboard's way through the window, one stop a row.
constexpr const char* kTabStops[][2] = {
    // The left column, top to bottom.
    {"lblInteractive"}, {"lblStandard"}, {"lblTimer"}, {"lstTimer"}, {"Picture1", "Picture2"},
    // The card.
    {"lblClickMe"},
    // The right side, top to bottom: the operations, the range, then the
    // answers in reading order (interactive mode) or the drawing.
    {"picPlus"}, {"picMinus"}, {"picX"}, {"picDivide"}, {"cmbMinNum"}, {"cmbMaxNum"},
    {"lbl1"}, {"lbl2"}, {"lbl3"}, {"lbl4"}, {"lbl5"}, {"lbl6"}, {"img123"},
};

}  // namespace

const std::vector<std::vector<std::string>>& tabOrder() {
    static const std::vector<std::vector<std::string>> order = [] {
        std::vector<std::vector<std::string>> stops(std::size(kTabStops));
        for (std::size_t i = 0; i < stops.size(); ++i)
            stops[i].assign(kTabStops[i], kTabStops[i] + (kTabStops[i][1] ? 2 : 1));
        return stops;
    }();
    return order;
}

const std::vector<ControlSpec>& controlTable() {
    static const std::vector<ControlSpec> table = [] {
        std::vector<ControlSpec> t(std::size(kRows));
        for (std::size_t i = 0; i < t.size(); ++i) fill(t[i], kRows[i]);
        return t;
    }();
    return table;
}

}  // namespace ui
