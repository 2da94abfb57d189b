// SPDX-License-Identifier: GPL-3.0-or-later
// Time stamps of the start-up phases, for the benchmark programs
// (bench/abacorn_phases, bench/bench_bare_window_phases; run_e2e_bench.py
// --only phases reads them). Built without ABACORN_STARTUP_PHASES, as the
// program is, everything here compiles to nothing.
//
// Each stamp is one line on stderr, "phase <name> <CLOCK_MONOTONIC ms> <CPU
// ms>": the clock Python's time.monotonic() reads, so the benchmark can
// measure from the moment it started the program, and the CPU time the
// process has used so far (all its threads), which a loaded machine
// disturbs far less than the time on the clock.
#pragma once

#ifdef ABACORN_STARTUP_PHASES

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace bench {

inline void startupPhase(const char* name) {
    timespec t{}, cpu{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    std::fprintf(stderr, "phase %s %.3f %.3f\n", name, t.tv_sec * 1e3 + t.tv_nsec / 1e6,
                 cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6);
}

// Stamps the start of a widget's first paint, and the first pass of the
// event loop after it, by when the painted frame has been handed to the
// display.
class FirstPaintStamp : public QObject {
public:
    explicit FirstPaintStamp(QObject* widget) { widget->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            startupPhase("paint");
            QTimer::singleShot(0, [] { startupPhase("painted"); });
        }
        return false;
    }
};

}  // namespace bench

#define ABACORN_PHASE(name) ::bench::startupPhase(name)
#define ABACORN_FIRST_PAINT_STAMP(widget) ::bench::FirstPaintStamp abacornFirstPaintStamp(widget)

#else

#define ABACORN_PHASE(name) ((void)0)
#define ABACORN_FIRST_PAINT_STAMP(widget) ((void)0)

#endif
