// SPDX-License-Identifier: GPL-3.0-or-later
// The program in a web page. Loading the page only loads the program; the
// child's start (a tap or a key on the start screen, which the page turns
// into abacorn_start) runs it as a new start of the program does, and
// "Close Program" ends that run and leaves the start screen.
#include <emscripten.h>

#include <memory>

#include "main/web_trainer.h"
#include "ui/control_table.h"
#include "voices/browser_voice.h"
#include "web/form_page.h"
#include "web/page.h"

// clang-format off
EM_JS(void, js_preload, (const char* source), { Module.page.preload(UTF8ToString(source)); });
EM_JS(void, js_loaded, (), { Module.page.loaded(); });
// clang-format on

namespace {

struct Run : program::WebTrainer {
    using program::WebTrainer::WebTrainer;
    bool loaded = false;
};
std::unique_ptr<Run> trainer;

// Calls from the page on the stack, running or suspended in a pause: while
// there are any, the page only queues. The run ends once none is left, so
// that no frame of the trainer outlives it.
int entered = 0;
struct Entered {
    Entered() {
        if (entered++ == 0) web::page::busy(true);
    }
    ~Entered() {
        if (--entered > 0) return;
        if (trainer && trainer->window.closed()) trainer.reset();
        web::page::busy(false);
    }
    Entered(const Entered&) = delete;
    Entered& operator=(const Entered&) = delete;
};

}  // namespace

extern "C" {

// Nothing the logic throws may end the page's program: the lesson goes on
// with the next event.

// Builds the window, hidden, while the page waits for the start: the tap
// then only loads it. The page calls it once its fonts and pictures are in
// (the captions are measured in them), and again after a run has closed.
EMSCRIPTEN_KEEPALIVE void abacorn_prepare() {
    Entered in;
    try {
        if (!trainer) trainer = std::make_unique<Run>(voices::createBrowserVoice);
    } catch (...) {
        trainer.reset();
    }
}

// The start: the window loads as the program's start does.
EMSCRIPTEN_KEEPALIVE void abacorn_start() {
    Entered in;
    if (!trainer) abacorn_prepare();
    if (!trainer || trainer->loaded) return;
    trainer->loaded = true;
    trainer->pump.starting();
    try {
        trainer->view.fitScreen();  // the viewport may have changed since the window was built
        trainer->frm.Form_Load();
    } catch (...) {
    }
}

EMSCRIPTEN_KEEPALIVE void abacorn_events() {
    Entered in;
    try {
        if (trainer) {
            trainer->pump.drain();
            return;
        }
    } catch (...) {
        return;
    }
    while (web::page::next().kind != web::page::EventKind::None) {}  // nothing left to take them
}

}  // extern "C"

int main() {
    for (const std::string& source : web::FormPage::pictureSources(ui::controlTable())) js_preload(source.c_str());
    js_loaded();
    return 0;
}
