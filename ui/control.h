// SPDX-License-Identifier: GPL-3.0-or-later
// The control model: the window's controls as plain objects, with only the
// properties and operations the trainer's logic uses. A toolkit binding renders
// them and forwards the user's clicks and picks; tests drive them directly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

enum class Kind { Form, Label, Shape, Line, Image, PictureBox, Frame, Button, ComboBox, ListBox, Timer };

struct Color {
    std::uint8_t r = 0, g = 0, b = 0;
    bool windowText = false;  // the desktop's system colour for window text
    friend bool operator==(const Color&, const Color&) = default;
};

inline constexpr Color kBlack{0, 0, 0};
inline constexpr Color kWhite{255, 255, 255};
inline constexpr Color kLavender{192, 192, 255};
inline constexpr Color kDarkGrey{64, 64, 64};
inline constexpr Color kDarkGreen{0, 64, 0};
inline constexpr Color kSilver{192, 192, 192};
inline constexpr Color kDarkRed{192, 0, 0};
inline constexpr Color kGreen{0, 255, 0};
inline constexpr Color kRed{255, 0, 0};
inline constexpr Color kWindowText{0, 0, 0, true};

// Labels, shapes, lines and images are lightweight: they have no window of
// their own; their container draws them and finds the one a click lands on.
inline bool isLightweight(Kind k) {
    return k == Kind::Label || k == Kind::Shape || k == Kind::Line || k == Kind::Image;
}

enum class Align { Left, Center, Right };
enum class ShapeKind { None, Rectangle, RoundedRectangle, Dot };

struct Font {
    std::string family;  // empty: the toolkit's default font
    double points = 0;
    bool bold = false;
};

// One row of the window's design: a control as it is created, before start-up.
struct ControlSpec {
    std::string name;
    Kind kind = Kind::Label;
    std::string container;  // empty for the window itself
    // Twips, relative to the inside of the container. A line uses them as
    // x1, y1, x2, y2.
    int left = 0, top = 0, width = 0, height = 0;
    std::string caption;
    std::string tooltip;
    Font font;
    std::optional<Color> foreColor;   // text colour; none: the toolkit's
    std::optional<Color> backColor;   // set: an opaque background of this colour
    Align align = Align::Left;
    bool autoSize = false;
    bool visible = true;
    bool enabled = true;
    // Shapes and lines.
    ShapeKind shape = ShapeKind::None;
    std::optional<Color> borderColor;
    int borderPixels = 1;
    std::optional<Color> fillColor;
    // Frames: whether the caption and a border are drawn.
    bool bordered = false;
    // Buttons: graphical style (painted with the back colour).
    bool graphical = false;
    std::vector<std::string> items;  // combo box and list box entries
    std::string picture;             // resource path of the artwork
    std::optional<Color> clearColor; // the artwork's colour that shows what lies behind
    // A key combination that acts as a click on the control ("Ctrl+Q");
    // empty: none.
    std::string shortcut;
};

enum class Change { Caption, Visible, Enabled, Geometry, BackColor, Selection, Focus };

class TimerPort;

class Control {
public:
    explicit Control(const ControlSpec& design);

    const ControlSpec& design() const { return *design_; }
    const std::string& name() const { return design_->name; }
    Kind kind() const { return design_->kind; }

    const std::string& caption() const { return caption_; }
    void setCaption(std::string text);

    bool visible() const { return visible_; }
    void setVisible(bool on);

    bool enabled() const { return enabled_; }
    void setEnabled(bool on);

    int left() const { return left_; }
    int top() const { return top_; }
    int width() const { return width_; }
    int height() const { return height_; }
    void setLeft(int twips);
    void setTop(int twips);
    void setWidth(int twips);
    void setHeight(int twips);
    // Used by the binding for auto-size labels: no change notification loops.
    void fitSize(int widthTwips, int heightTwips);

    Color backColor() const { return backColor_; }
    void setBackColor(Color c);

    // Combo box and list box.
    int itemCount() const { return static_cast<int>(design_->items.size()); }
    std::string itemText(int index) const;  // empty for an index out of range
    int selectedIndex() const { return selectedIndex_; }
    // Selects an entry and raises the selection handler at once, before this
    // call returns: a selection made by the program behaves like a pick.
    void select(int index);
    // Records a pick without raising the handler: the binding uses it for the
    // child's picks and then dispatches the handler as a user event.
    void setSelectedIndex(int index);
    // List box: clears the selection mark of one entry.
    void clearSelectionMark(int index);

    // Push button: asks for the keyboard focus; refused (false) while the
    // button is invisible or disabled.
    bool setFocus();

    // Timer: interval in milliseconds; setting it on an enabled timer starts
    // its countdown afresh.
    int interval() const { return interval_; }
    void setInterval(int ms);
    void attachTimer(TimerPort* port) { timer_ = port; }

    // The control's one event handler (click, selection or tick).
    std::function<void()> handler;
    void raise() const {
        if (handler) handler();
    }

    // One observer, the binding that mirrors the model on screen.
    std::function<void(Control&, Change)> observer;

private:
    void notify(Change c) {
        if (observer) observer(*this, c);
    }
    void applyTimer();

    const ControlSpec* design_;
    std::string caption_;
    bool visible_;
    bool enabled_;
    int left_, top_, width_, height_;
    Color backColor_;
    int selectedIndex_ = -1;
    int interval_ = 0;
    TimerPort* timer_ = nullptr;
};

// The countdown behind a timer control.
class TimerPort {
public:
    virtual ~TimerPort() = default;
    virtual void start(int intervalMs) = 0;  // (re)starts the countdown
    virtual void stop() = 0;
};

// All controls of one window, created from a table, looked up by name.
class Controls {
public:
    explicit Controls(const std::vector<ControlSpec>& table);
    Control& operator[](std::string_view name);
    const Control& operator[](std::string_view name) const;
    Control* find(std::string_view name);
    const Control* find(std::string_view name) const;
    std::vector<std::unique_ptr<Control>>& all() { return controls_; }
    const std::vector<std::unique_ptr<Control>>& all() const { return controls_; }

private:
    std::vector<std::unique_ptr<Control>> controls_;
};

// Whether a press by the child (a click, Space or Enter, an assistive
// tool's press) reaches a control's handler now: it has one, it is shown and
// enabled, and so is shown the container it lies in.
bool takesPress(const Controls& controls, const Control& c);

}  // namespace ui
