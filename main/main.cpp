// Abacorn: a talking arithmetic flash-card trainer for young children.
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

constexpr const char* kNoDisplay = "abacorn: no display available; start the trainer from a desktop session.\n";

// Qt ends with abort() and a core dump when it cannot reach a display. Until
// the application object stands, a fatal message from Qt is that case: say so
// in one line and leave with status 1. Qt's own warnings of that moment are
// held back, so the one line is all the user sees.
bool constructingApp = true;
void startupMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (constructingApp) {
        if (type == QtFatalMsg) {
            std::fputs(kNoDisplay, stderr);
            std::_Exit(1);
        }
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg) std::abort();
}

bool displayNamed() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && std::strncmp(platform, "xcb", 3) != 0) return true;  // offscreen, wayland, ...
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* v = std::getenv(var);
        if (v && *v) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    (void)argc;
    if (!displayNamed()) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }
    qInstallMessageHandler(startupMessages);
    // The trainer takes no command line: the toolkit is not shown the
    // arguments either, so none of its options can change the program.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    constructingApp = false;
    qInstallMessageHandler(nullptr);
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
