// Abacorn: a talking arithmetic flash-card trainer for young children.
#include <dlfcn.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/frm_splash.h"
#include "problems/random.h"
#include "speech/qt_speech_engine.h"
#include "ui/control_table.h"
#include "ui/qt/form_view.h"
#include "ui/qt/qt_platform.h"

namespace {

// Qt aborts with a core dump when it cannot reach a display; say so in one
// line instead. The X connection is tried through libxcb, loaded at run time,
// so the check costs nothing when a display is there.
bool displayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::strncmp(platform, "xcb", 3) != 0) return true;  // offscreen, wayland, ...
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!platform && wayland && *wayland) return true;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    void* xcb = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!xcb) return true;  // let Qt report it
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    bool ok = true;
    if (connect && hasError && disconnect) {
        void* c = connect(nullptr, nullptr);
        ok = c && hasError(c) == 0;
        if (c) disconnect(c);
    }
    dlclose(xcb);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    (void)argc;
    if (!displayAvailable()) {
        std::fprintf(stderr, "abacorn: no display available; start the trainer from a desktop session.\n");
        return 1;
    }
    // The trainer takes no command line: the toolkit is not shown the
    // arguments either, so none of its options can change the program.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName("abacorn");
    QApplication::setDesktopFileName("abacorn");

    ui::qt::QtEventPump pump;
    ui::qt::QtScreen screen;
    ui::qt::QtWindow window;
    ui::qt::QtTimer timer;
    problems::SteadyClock clock;
    problems::MixingRandom random(clock, clock.now());

    app::frmSplash frm(ui::controlTable(),
                       app::Platform{pump, screen, window, timer, random, speech::createQtSpeechEngine});
    ui::qt::FormView view(
        frm.controls(), [&frm](ui::Control& c) { frm.dispatchControl(c); },
        [&frm] { frm.dispatch(&app::frmSplash::Form_Click); });
    window.attach(&view);
    view.onClose = [&frm] { frm.Command1_Click(); };
    timer.onTick = [&frm] { frm.dispatch(&app::frmSplash::Timer1_Timer); };

    frm.Form_Load();
    return window.closed() ? 0 : app.exec();
}
