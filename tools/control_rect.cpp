// SPDX-License-Identifier: GPL-3.0-or-later
// Prints where a control of the window lands on a screen of the given size:
//     control_rect <name> <screenWidthPx> <screenHeightPx>
// prints "x y w h" in screen pixels, for checking a running window from the
// outside (xdotool, screenshots). The window covers the screen from its
// top-left corner, and start-up centres the main panel on it. Auto-size
// labels are reported at their design size; a line as the box between its
// two ends.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/control.h"
#include "ui/control_table.h"
#include "ui/screen_place.h"
#include "ui/placement.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <control> <screenWidthPx> <screenHeightPx>\n", argv[0]);
        return 2;
    }
    const std::string name = argv[1];
    const int screenWidth = std::atoi(argv[2]);
    const int screenHeight = std::atoi(argv[3]);
    if (screenWidth <= 0 || screenHeight <= 0) {
        std::fprintf(stderr, "screen size must be positive\n");
        return 2;
    }
    using namespace ui;
    Controls controls(controlTable());
    const Control* c = controls.find(name);
    if (!c) {
        std::fprintf(stderr, "no control named %s\n", name.c_str());
        return 1;
    }
    ui::placeAtStartup(controls, ui::pixelsToTwips(screenWidth), ui::pixelsToTwips(screenHeight));
    int ox = 0, oy = 0;
    ui::containerOffsetPixels(controls, *c, ox, oy);
    if (c->kind() == Kind::Form) {
        std::printf("0 0 %d %d\n", screenWidth, screenHeight);  // the window covers the screen
        return 0;
    }
    if (c->kind() == Kind::Line) {  // left/top/width/height hold x1, y1, x2, y2
        const int x1 = ox + ui::twipsToPixels(c->left()), y1 = oy + ui::twipsToPixels(c->top());
        const int x2 = ox + ui::twipsToPixels(c->width()), y2 = oy + ui::twipsToPixels(c->height());
        std::printf("%d %d %d %d\n", std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1), std::abs(y2 - y1));
        return 0;
    }
    std::printf("%d %d %d %d\n", ox + ui::twipsToPixels(c->left()), oy + ui::twipsToPixels(c->top()),
                ui::twipsToPixels(c->width()), ui::twipsToPixels(c->height()));
    return 0;
}
