// SPDX-License-Identifier: GPL-3.0-or-later
// How each control looks, for a renderer to follow: what is filled and in
// which colour, the ink of captions, alignment and wrapping, a frame's
// etched edge, a shape's border and corners, the flat button's shades, and
// the fitting of a caption to its label. A binding only turns these into
// toolkit calls; every length is in pixels at the scale given (dpi).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/placement.h"

namespace ui {

// A rectangle in pixels; right and bottom lie just outside it.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A control's rectangle as it is drawn; a line's is the box round its ends.
Rect drawnRect(const Control& c, int dpi = kDesignDpi);
// The area a lightweight control may paint: paintMargin round its rectangle.
Rect paintBounds(const Control& c, int dpi = kDesignDpi);

// The bars of a border `width` pixels wide inside r, or r itself when it is
// thinner than two borders (the number table's one-pixel rules are solid).
std::vector<Rect> borderBars(const Rect& r, int width);

struct CaptionFit;

struct LabelLook {
    std::optional<Color> fill;  // none: transparent, what lies behind shows
    Color ink;                  // kWindowText: the desktop's text colour
    Align align = Align::Left;
    bool wrap = false;  // words wrap onto the lines below
    Rect text;          // where the caption is drawn, clipped to the label
};
// A label with its caption fitted (fitLabel).
LabelLook labelLook(const Control& label, const CaptionFit& fit, int dpi = kDesignDpi);

struct ShapeLook {
    ShapeKind shape = ShapeKind::None;
    Color border;
    int borderWidth = 1;  // inside the bounds
    Color fill;           // rounded rectangle and dot
};
ShapeLook shapeLook(const Control& shape, int dpi = kDesignDpi);
// A rounded rectangle's corner radius, for its width and height.
double cornerRadius(double width, double height);

struct LineLook {
    Color ink;
    int width = 1;  // with round caps
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};
LineLook lineLook(const Control& line, int dpi = kDesignDpi);

// A bordered frame: its caption sits on an etched edge whose top runs
// through the caption's middle.
struct FrameLook {
    Color back;
    bool etched = false;
    int line = 1;           // the width of each etched line
    Rect shadow, light;     // the outlines of the two lines
    Color shadowColor, lightColor;
    Rect caption;           // filled with the back colour, the caption centred in it
    Color captionInk;
};
// The frame's inside is width by height; its caption measures
// captionWidth by captionHeight in its font.
FrameLook frameLook(const Control& frame, int width, int height, int captionWidth, int captionHeight,
                    int dpi = kDesignDpi);

// The flat graphical button: its face in its back colour, a raised edge of
// a design pixel that sinks while it is held down, the caption moving with it.
struct ButtonLook {
    struct Bar {
        Rect rect;
        Color color;
    };
    Color face;
    Bar edges[4];  // top, left, bottom, right, drawn in that order
    int sink = 0;  // how far right and down the caption moves
    bool greyed = false;
};
// The button is width by height.
ButtonLook buttonLook(const Control& button, bool down, int width, int height, int dpi = kDesignDpi);
// Shades of a colour as the button's edges take them: brightness (HSV
// value) times percent/100, paling when it passes full; and divided.
Color lighter(Color c, int percent);
Color darker(Color c, int percent);

// The colour of an image's artwork that shows what lies behind, if any.
std::optional<Color> clearColor(const Control& image);

// An image that is not stretched takes the size of its picture, given in
// the design's pixels.
void fitPicture(Control& image, int width, int height);

// A picture box shows its picture centred on its container's colour.
Color pictureBoxBack(const Controls& controls, const Control& box);
// Where a picture of w by h lies centred in a box of the given size.
Rect centred(int boxWidth, int boxHeight, int w, int h);

// ---- caption fitting --------------------------------------------------------

struct TextSize {
    int width = 0, height = 0;
};
// A caption on one line: how far the pen moves, its ink from the pen's
// start (right: the last inked pixel), and the font's line height.
struct TextInk {
    int advance = 0, left = 0, right = 0, line = 0;
};

// Measures captions in one label's font (family and weight) at any size.
class TextMeasure {
public:
    virtual ~TextMeasure() = default;
    // The caption's size as the toolkit lays it out.
    virtual TextSize size(int pixels, const std::string& text) const = 0;
    virtual TextInk ink(int pixels, const std::string& text) const = 0;
};

// How a label's caption is drawn after fitting: shrunk, in a smaller font
// on one line, moved down to keep the designed line's centre.
struct CaptionFit {
    bool shrunk = false;
    int pixels = 0;
    int drop = 0;
};

// Fits a label to its caption at the designed font size `designed`: an
// auto-size label takes its caption's size (the model is told, so that the
// logic sees the real width); a fixed-size one whose caption is too wide
// gets the largest smaller size whose ink fits.
CaptionFit fitLabel(Control& label, int designed, const TextMeasure& measure, int dpi = kDesignDpi);

}  // namespace ui
