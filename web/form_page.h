// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's window in a web page: every control an element of the page,
// placed by the design's twips at the design's scale, drawn as ui/look.h
// describes, with the focus, the pointer and the accessible tree by the
// rules of ui/ (ui/binding.h lists the duties).
//
// Frames, picture boxes, buttons and lists are elements that take the focus
// and the mouse themselves; labels, shapes, lines and images are elements
// the mouse passes through, whose container finds what a click lands on, as
// the desktop bindings' containers do.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/binding.h"
#include "ui/focus.h"
#include "ui/views.h"
#include "web/page.h"

namespace web {

struct Element : ui::View {
    int own = 0;      // the element that takes the focus and the mouse itself; 0: painted by its container
    int element = 0;  // the element that shows it; 0: none (the timer)
    int picture = 0;  // a picture box's picture
    int parts[3] = {0, 0, 0};  // a bordered frame's etched lines and caption
    std::string font;          // the CSS font
    int density = 0;           // the artwork shown: 1 plain, or drawn at kArtworkScale
    int pictureWidth = 0, pictureHeight = 0;
    bool held = false;         // a flat button held down by the mouse
};
using Elements = ui::ViewTable<Element, &Element::own>;

class FormPage : public ui::Binding, private ui::FocusHost {
public:
    // userEvent: the child clicked a control that has a handler or picked
    // an entry in a list (the pick is already recorded in the model).
    // formClick: the child clicked the bare window, outside every control.
    FormPage(ui::Controls& controls, std::function<void(ui::Control&)> userEvent, std::function<void()> formClick);
    ~FormPage() override;

    // One event from the page (web/page.h), as the toolkits deliver theirs.
    void handle(const page::Event& e);
    // The page is shown: the design's first focus.
    void shown();
    // The timer's ticks, which the page queues among the child's events.
    std::function<void()> onTick;
    // The viewport changed size (the window is already drawn at its new scale).
    std::function<void()> onResized;
    // Draws the window at the largest scale the viewport allows.
    void fitScreen();
    // The scale the window is drawn at, in dots per inch.
    int dpi() const { return dpi_; }
    // The artwork beside the page is drawn at this many times the design's
    // size, for screens of up to that many device pixels to a design pixel.
    static constexpr int kArtworkScale = 3;
    // A page cannot be closed by the program's window system: only "Close
    // Program" and Ctrl+Q end a run, and the page never calls it.
    std::function<void()> onClose;

    // The picture of a control as the page shows it: the artwork's address,
    // plain (density 1) or drawn at kArtworkScale.
    static std::string pictureSource(const std::string& resource, int density);
    // Every plain picture of a design, for the page to load before the start.
    static std::vector<std::string> pictureSources(const std::vector<ui::ControlSpec>& table);

private:
    void create(Element& e);
    void changed(std::size_t row, ui::Change change) override;
    void focusOnClick(ui::Control& c) override;
    void draw(Element& e);
    void fit(Element& e);
    // The largest scale at which the panel shows, from the viewport, whose
    // device pixels to a CSS pixel it notes too.
    int fittingDpi();
    void showPicture(Element& e);
    // The entry of the control an element shows; nullptr for none.
    Element* byElement(int id);
    void pointer(ui::Control& container, const page::Event& e);
    void key(const page::Event& e);
    void applySelection(Element& e);
    void tellActiveDescendants();
    int newElement() { return nextId_++; }

    // ui::FocusHost
    ui::Control* toolkitFocus() const override;
    ui::PixelBox ringBox(const ui::Control& c) const override { return ui::pixelBox(c, dpi_); }
    bool hasWidget(const ui::Control& c) const override;
    void giveFocus(ui::Control& c, ui::FocusCause cause) override;
    void focusMovedInside(ui::Control& container) override;
    void queueRepair() override;
    void ringMoved(const ui::RingPlace& from, const ui::RingPlace& to) override;
    bool listOpen(const ui::Control& list) const override;
    void showList(ui::Control& list, bool open) override;
    void press(ui::Control& c) override;
    void pickCurrentEntry(ui::Control& list) override;

    Elements views_;
    int nextId_ = 1;
    int dpi_ = ui::kDesignDpi;
    int densityPercent_ = 100;  // device pixels to a CSS pixel, in hundredths
    int ring_[4] = {0, 0, 0, 0};
    std::unique_ptr<ui::FocusRules> rules_;
    bool repairQueued_ = false;
    ui::ListPress listPress_;
};

// The DOM's key names in the rules' terms.
ui::KeyPress keyPress(const page::Event& e);

}  // namespace web
