// SPDX-License-Identifier: GPL-3.0-or-later
// One pass of the window's pause against one bare QCoreApplication::
// processEvents(), with the real window shown.
//
// The pause is private; it is timed through the event pump the window is
// built with: a pump that passes every call on to processEvents() and only
// takes the clock at the first and the last pass of the pause (a counter
// compare per pass, nothing else). Two pauses are timed:
//   start-up  Form_Load's 1,000,000 passes (passes 2 .. 1,000,001 of
//             Form_Load; the first pass comes before the window is shown).
//             The window's first paint falls inside these passes.
//   card      a click on the card while it shows its answer: 150,000 passes
//             between hiding the card and dealing the next one.
// Each is compared with as many bare processEvents() calls right after it,
// same window shown. Speech is left out (no voice), so no engine thread
// competes for the cores.
//
//     bench_pause [runs]        (default 5; under Xvfb or QT_QPA_PLATFORM=offscreen)
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/frm_splash.h"
#include "problems/random.h"
#include "ui/control_table.h"
#include "qt/form_view.h"
#include "qt/ports.h"
#include "qt/qt_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Times passes [first, first + count) of the calls made to it.
class TimingPump final : public app::EventPump {
public:
    void arm(long first, long count) {
        calls_ = 0;
        first_ = first;
        last_ = first + count - 1;
        started_ = ended_ = {};
    }
    void processEvents() override {
        if (++calls_ == first_) started_ = Clock::now();
        QCoreApplication::processEvents();
        if (calls_ == last_) ended_ = Clock::now();
    }
    bool complete() const { return calls_ >= last_; }
    double elapsed() const { return seconds(ended_ - started_); }

private:
    long calls_ = 0, first_ = 1, last_ = 0;
    Clock::time_point started_, ended_;
};

double bare(long passes) {
    const auto t0 = Clock::now();
    for (long i = 0; i < passes; ++i) QCoreApplication::processEvents();
    return seconds(Clock::now() - t0);
}

struct Series {
    std::vector<double> v;
    void add(double x) { v.push_back(x); }
    double min() const { return *std::min_element(v.begin(), v.end()); }
    double max() const { return *std::max_element(v.begin(), v.end()); }
    double median() const {
        std::vector<double> s = v;
        std::sort(s.begin(), s.end());
        const size_t n = s.size();
        return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
    }
};

void row(const char* what, const Series& s, double scale, const char* unit) {
    std::printf("%-34s %10.3f %10.3f %10.3f  %s\n", what, s.min() * scale, s.median() * scale, s.max() * scale, unit);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);

    TimingPump pump;
    qt::QtScreen screen;
    qt::QtTimer timer;
    problems::SteadyClock clock;
    problems::MixingRandom random(clock, clock.now());

    constexpr long kStart = app::frmSplash::kStartupPasses;
    constexpr long kCard = app::frmSplash::kCardPasses;
    Series loadPause, loadBare, loadRatio, cardPause, cardBare, cardRatio;

    for (int run = 0; run < runs; ++run) {
        // A fresh window each run, so that every start-up pause is a real
        // one, first paint included.
        qt::QtWindow window;
        auto frm = std::make_unique<app::frmSplash>(ui::controlTable(),
                                                    app::Platform{pump, screen, window, timer, random, nullptr});
        auto view = std::make_unique<qt::FormView>(
            frm->controls(), [&frm](ui::Control& c) { frm->dispatchControl(c); },
            [&frm] { frm->dispatch(&app::frmSplash::Form_Click); });
        window.attach(view.get());
        timer.onTick = [&frm] { frm->dispatch(&app::frmSplash::Timer1_Timer); };

        pump.arm(2, kStart);
        frm->Form_Load();
        if (!pump.complete()) {
            std::fprintf(stderr, "the start-up pause ended early\n");
            return 1;
        }
        const double p = pump.elapsed();
        const double b = bare(kStart);
        loadPause.add(p / kStart);
        loadBare.add(b / kStart);
        loadRatio.add(p / b);

        // The card shows the worked example with its answer: a click hides
        // it, pauses and deals. Alternate which of the two goes first.
        for (int k = 0; k < 2; ++k) {
            double cp = 0, cb = 0;
            auto card = [&] {
                pump.arm(1, kCard);
                frm->lblClickMe_Click();
                cp = pump.elapsed();
                frm->ShowAnswer();  // the answer shows again for the next click
            };
            if ((run + k) % 2 == 0) {
                card();
                cb = bare(kCard);
            } else {
                cb = bare(kCard);
                card();
            }
            cardPause.add(cp / kCard);
            cardBare.add(cb / kCard);
            cardRatio.add(cp / cb);
        }
        view->hide();
        timer.onTick = nullptr;
        view.reset();
        frm.reset();
        QCoreApplication::processEvents();
    }

    std::printf("platform %s, %d runs (start-up: %ld passes; card: %ld passes, 2 per run)\n",
                qPrintable(QGuiApplication::platformName()), runs, kStart, kCard);
    std::printf("%-34s %10s %10s %10s\n", "", "min", "median", "max");
    row("start-up pause, one pass", loadPause, 1e6, "us");
    row("bare processEvents, one pass", loadBare, 1e6, "us");
    row("start-up pause / bare", loadRatio, 1, "(goal <= 1.2)");
    row("card pause, one pass", cardPause, 1e6, "us");
    row("bare processEvents, one pass", cardBare, 1e6, "us");
    row("card pause / bare", cardRatio, 1, "(goal <= 1.2)");
    return 0;
}
