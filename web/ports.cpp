// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/ports.h"

#include <emscripten.h>

#include "ui/placement.h"
#include "web/form_page.h"

// clang-format off
EM_JS(void, js_window_shown, (), { Module.page.windowShown(); });
EM_JS(void, js_window_closed, (), { Module.page.windowClosed(); });
// clang-format on

namespace web {

void WebEventPump::drain() {
    for (page::Event e = page::next(); e.kind != page::EventKind::None; e = page::next())
        if (onEvent) onEvent(e);
}

void WebEventPump::processEvents() {
    drain();
    if (const double now = page::now(); now - lastYield_ >= kFrameMs) {
        page::yieldToBrowser();
        lastYield_ = page::now();
    }
}

int WebScreen::widthTwips() const { return ui::pixelsToTwips(page::viewport().width, view_ ? view_->dpi() : ui::kDesignDpi); }
int WebScreen::heightTwips() const {
    return ui::pixelsToTwips(page::viewport().height, view_ ? view_->dpi() : ui::kDesignDpi);
}

void WebWindow::show() {
    if (closed_) return;
    js_window_shown();
    if (onShown) onShown();
}

void WebWindow::close() {
    if (closed_) return;
    closed_ = true;
    page::timer(0);
    js_window_closed();
}

}  // namespace web
