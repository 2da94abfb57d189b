// SPDX-License-Identifier: GPL-3.0-or-later
// Speak on the window's thread with the real voice: how long the child's
// window waits for one call. The voice is the one the program uses (Speech
// Dispatcher, the embedded voice when it cannot be reached), started on a
// thread of its own by Form_Load; the calls start right after Form_Load,
// while the connection may still be opening, and go on for a few seconds
// with the window's events processed between them.
// For scale, the same loop also times an empty call: what this machine's
// scheduler adds to any call of that length.
//
//     bench_speak [calls]      (default 20000; under Xvfb or QT_QPA_PLATFORM=offscreen)
//
// A speech-dispatcher that libspeechd starts outlives this program; give
// the run its own XDG_RUNTIME_DIR to find that daemon and stop it afterwards.
#include <QApplication>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "main/qt_trainer.h"
#include "voices/trainer_voice.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Stats {
    double min, median, p99, max;
    long over1ms;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const long over = std::count_if(v.begin(), v.end(), [](double x) { return x > 1000.0; });
    return {v.front(), v[v.size() / 2], v[v.size() * 99 / 100], v.back(), over};
}

void row(const char* what, const Stats& s) {
    std::printf("%-28s %9.2f %9.2f %9.2f %9.2f %8ld\n", what, s.min, s.median, s.p99, s.max, s.over1ms);
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(100, std::atoi(argv[1])) : 20000;
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);

    program::QtTrainer trainer([] { return voices::createTrainerVoice([] { return false; }); });
    app::frmSplash& frm = trainer.frm;

    const auto loadStart = Clock::now();
    frm.Form_Load();
    const double loadMs = std::chrono::duration<double, std::milli>(Clock::now() - loadStart).count();

    const std::string texts[] = {"7 plus 5", "12", "wrong answer, try again", "click flashcard",
                                 "the maximum number is now set to 20"};
    std::vector<double> speak, empty;
    speak.reserve(calls);
    empty.reserve(calls);
    volatile int sink = 0;
    const auto spanStart = Clock::now();
    for (int i = 0; i < calls; ++i) {
        auto t0 = Clock::now();
        frm.Speak(texts[i % 5]);
        auto t1 = Clock::now();
        sink = sink + i;
        auto t2 = Clock::now();
        speak.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        empty.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
        // The window goes on with its events between the calls, about
        // 5,000 calls a second.
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
    const double spanS = std::chrono::duration<double>(Clock::now() - spanStart).count();

    std::printf("platform %s; Form_Load %.0f ms; %d calls over %.1f s\n",
                qPrintable(QGuiApplication::platformName()), loadMs, calls, spanS);
    std::printf("%-28s %9s %9s %9s %9s %8s\n", "per call (us)", "min", "median", "p99", "max", ">1 ms");
    row("Speak", stats(speak));
    row("empty call (noise floor)", stats(empty));
    std::printf("goal: worst Speak <= 1000 us\n");
    frm.Command1_Click();  // closes the voice the way the program does
    return 0;
}
