// SPDX-License-Identifier: GPL-3.0-or-later
// The page the window is rendered into, as the few calls the binding makes
// to the page's script (web/page/abacorn-page.js) and the events it takes
// back. Elements are named by numbers the binding chooses; 0 is the panel's
// parent, the page itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/control.h"

namespace web::page {

// Element kinds the page knows how to make.
enum class Tag { Box, Button, Select, ListBox, Image };

void create(int id, Tag tag, int parent);
// Position and size in the parent's CSS pixels.
void place(int id, int x, int y, int width, int height);
// The element's whole inline style after its place (replaces the last one).
void style(int id, const std::string& css);
void text(int id, const std::string& text);
// An attribute (aria-label, role, tabindex...); an empty value removes it.
void attribute(int id, const char* name, const std::string& value);
void shown(int id, bool on);
void enabled(int id, bool on);
void options(int id, const std::vector<std::string>& items);
void selected(int id, int index);
void focus(int id);
// The element with the page's focus; 0: none of ours.
int focused();
void openList(int id);
// The picture at `source` (an address beside the page), with `clear` drawn
// transparent.
void picture(int id, const std::string& source, std::optional<ui::Color> clear);
// The size of a picture loaded before the start; false while it has none.
bool pictureSize(const std::string& source, int& width, int& height);

struct Metrics {
    int advance = 0, inkLeft = 0, inkRight = 0, line = 0, width = 0, height = 0;
};
// A caption on one line in a CSS font ("bold 13px 'Comic Neue'").
Metrics measure(const std::string& font, const std::string& text);

// What the child and the browser did, in the order it happened.
enum class EventKind {
    None,
    Pointer,     // a: container element, b: 0 press / 1 second press of a double click / 2 release, x, y, inside
    Click,       // a: element (a button's own click), b: 0 from a key or an assistive tool, else from the mouse
    Pick,        // a: element, b: entry
    Key,         // key: the DOM's key name; shift, ctrl, alt, meta
    Tick,        // the timer
    FocusMoved,  // the page's focus moved
    Active,      // b: the page is shown and focused (1) or not (0)
    Held,        // a: a button, b: 1 while the mouse holds it down
    Repair,      // asked for by post()
    Resized,     // the viewport changed size
};
struct Event {
    EventKind kind = EventKind::None;
    int a = 0, b = 0, x = 0, y = 0;
    int entry = -1;  // a list box's entry under the pointer
    bool inside = false, shift = false, ctrl = false, alt = false, meta = false;
    std::string key;
};
// The next event the page queued; kind None when there is none.
Event next();
// Queues an event of the program's own behind the ones waiting.
void post(EventKind kind);

// The viewport's size in CSS pixels.
struct Viewport {
    int width = 0, height = 0;
    int densityPercent = 100;  // device pixels to a CSS pixel, in hundredths
};
Viewport viewport();

// The page's clock, in milliseconds.
double now();
// Lets the browser paint and collect input, then comes back (the C++ stack
// is kept meanwhile).
void yieldToBrowser();
// While the program runs, with or without a pause, the page only queues
// what happens; when it is idle the page calls it for each event.
void busy(bool on);

// Timer: the page queues a tick every `ms` milliseconds from now on; 0 stops it.
void timer(int ms);

}  // namespace web::page
