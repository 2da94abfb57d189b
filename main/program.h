// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer from start to close: the toolkit, the window, the voice. The
// program's main() is this alone; the start-up benchmark runs the same code
// and is told where each phase ends.
#pragma once

class QWidget;

namespace app {
class frmSplash;
}

namespace program {

// Ends of the start-up phases, for the benchmarks that time them or drive
// the window once it stands (bench/abacorn_phases.cpp, bench/abacorn_say.cpp).
class StartupPhases {
public:
    virtual ~StartupPhases() = default;
    virtual void qtStarted() = 0;                // QApplication stands
    virtual void fontsReady() = 0;               // fontconfig is loaded
    virtual void windowBuilt(QWidget& view) = 0; // before Form_Load shows it
    // Form_Load has run and the event loop is about to start.
    virtual void loaded(app::frmSplash& frm) { (void)frm; }
};

// Runs the trainer until its window is closed; returns the exit status (1:
// no display). argv0 is the program's own name: the toolkit is shown no
// other argument.
int run(char* argv0, StartupPhases* phases = nullptr);

}  // namespace program
