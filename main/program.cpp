// SPDX-License-Identifier: GPL-3.0-or-later
#include "main/program.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "desktop/screen_reader_switch.h"
#include "desktop/single_instance.h"
#include "main/qt_trainer.h"
#include "speech/late_engine.h"
#include "voices/trainer_voice.h"

namespace program {
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

// SIGTERM (a shutdown, a session that ends without asking) ends the lesson
// at once with status 0, a clean end: the trainer keeps nothing to save.
void endOnTerm(int) { _exit(0); }

}  // namespace

int run(char* argv0, StartupPhases* phases) {
    if (!displayNamed()) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }
    struct sigaction term = {};
    term.sa_handler = endOnTerm;
    sigaction(SIGTERM, &term, nullptr);
    qInstallMessageHandler(startupMessages);
    qt::FontconfigWarmUp fonts;
    // The trainer takes no command line: the toolkit is not shown the
    // arguments either, so none of its options can change the program.
    int qtArgc = 1;
    char* qtArgv[] = {argv0, nullptr};
    QApplication app(qtArgc, qtArgv);
    constructingApp = false;
    qInstallMessageHandler(nullptr);
    QApplication::setApplicationName("abacorn");
    QApplication::setDesktopFileName("abacorn");
    if (phases) phases->qtStarted();
    // Both ask the session bus on threads of their own while the window is
    // built.
    QWidget* shown = nullptr;
    auto instance = std::make_unique<desktop::SingleInstance>([&shown] {
        if (shown) qt::bringToFront(*shown);
    });
    desktop::ScreenReaderSwitch screenReader;
    fonts.wait();
    if (phases) phases->fontsReady();

    // The voice is built once the first frame is on the screen (see
    // speech/late_engine.h), or when the first text comes before that.
    std::weak_ptr<speech::LateEngine> lateVoice;
    program::QtTrainer trainer([&lateVoice, screenReaderOn = screenReader.reader()] {
        auto voice = std::make_shared<speech::LateEngine>([screenReaderOn] {
            return voices::createTrainerVoice(screenReaderOn);
        });
        lateVoice = voice;
        return voice;
    });
    if (phases) phases->windowBuilt(trainer.view);
    // Another trainer runs: it comes to the front, and this one ends
    // without a window or a word.
    if (!instance->first()) return 0;
    shown = &trainer.view;
    qt::afterFirstPaint(trainer.view, [&lateVoice] {
        if (auto voice = lateVoice.lock()) voice->start();
    });

    trainer.frm.Form_Load();
    if (phases && !trainer.window.closed()) phases->loaded(trainer.frm);
    const int status = trainer.window.closed() ? 0 : app.exec();
    // The name is free for the next start before the voice closes.
    instance.reset();
    return status;
}

}  // namespace program
