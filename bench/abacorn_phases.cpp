// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer as the program runs it, with a time stamp on stderr where each
// start-up phase ends (bench/startup_phases.h): run_e2e_bench.py --only
// phases.
#include <QFontDatabase>
#include <QWidget>
#include <memory>

#include "main/program.h"
#include "bench/startup_phases.h"

namespace {

class Stamps final : public program::StartupPhases {
public:
    void qtStarted() override { ABACORN_PHASE("qt"); }
    void fontsReady() override {
        // Timed apart here; the program opens the font database while it
        // builds the window.
        QFontDatabase::families();
        ABACORN_PHASE("font database");
    }
    void windowBuilt(QWidget& view) override {
        ABACORN_PHASE("window");
        firstPaint_ = std::make_unique<bench::FirstPaintStamp>(&view);
    }

private:
    std::unique_ptr<bench::FirstPaintStamp> firstPaint_;
};

}  // namespace

int main(int, char** argv) {
    ABACORN_PHASE("main");
    Stamps stamps;
    return program::run(argv[0], &stamps);
}
