// SPDX-License-Identifier: GPL-3.0-or-later
// Worst cases of dealing and filling, with the real clock behind every
// re-seed, and the memory of a long timer run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>
#include <fstream>
#include <string>

#include "testbed/fakes.h"

namespace {

struct Bench {
    Bench()
        : random(clock),
          frm(ui::controlTable(), app::Platform{pump, screen, window, timer, random,
                                                [this] { return voice; }}) {
        timer.onTick = [this] { frm.dispatch(&app::frmSplash::Timer1_Timer); };
        frm.Form_Load();
    }
    testbed::Pump pump;
    testbed::Screen screen;
    testbed::Window window;
    testbed::Timer timer;
    problems::SteadyClock clock;
    problems::MixingRandom random;
    // Counts instead of keeping every text, so that memory stays flat.
    struct CountingVoice final : speech::SpeechEngine {
        void speak(const std::string&) override { ++spoken; }
        long spoken = 0;
    };
    std::shared_ptr<CountingVoice> voice = std::make_shared<CountingVoice>();
    app::frmSplash frm;
};

long peakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// One deal with minimum = maximum = 90: about 91 draws per loop.
void DealNarrowRange(benchmark::State& st, const char* operation) {
    Bench b;
    b.frm.state().operation = operation;
    b.frm.state().minNumber = 90;
    b.frm.state().maxNumber = 90;
    for (auto _ : st) {
        b.frm.NewProblem();
        benchmark::DoNotOptimize(b.frm.controls()["lbln2"].caption().data());
    }
}
BENCHMARK_CAPTURE(DealNarrowRange, addition, "addition")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DealNarrowRange, subtraction, "subtraction")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DealNarrowRange, multiplication, "multiplication")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DealNarrowRange, division, "division")->Unit(benchmark::kMicrosecond);

// Division with a prime top number: the range 97 to 97 costs about 98 top
// draws (each re-seeded) and then about 49 divisor draws, more than the
// range 0 to 100 with 97 drawn.
void DealPrimeDivision(benchmark::State& st) {
    Bench b;
    b.frm.state().operation = "division";
    b.frm.state().minNumber = 97;
    b.frm.state().maxNumber = 97;
    for (auto _ : st) b.frm.NewProblem();
}
BENCHMARK(DealPrimeDivision)->Unit(benchmark::kMicrosecond);

// One filling where all five wrong answers equal the right one: five
// separation passes.
void FillAllEqual(benchmark::State& st) {
    Bench b;
    struct Constant final : problems::RandomSource {
        float next() override { return 0.5f; }
        void reseed() override {}
    };
    Constant constant;
    testbed::Pump pump;
    testbed::Screen screen;
    testbed::Window window;
    testbed::Timer timer;
    app::frmSplash frm(ui::controlTable(), app::Platform{pump, screen, window, timer, constant, nullptr});
    frm.state().maxNumber = 3;
    frm.controls()["lbln1"].setCaption("3");
    frm.controls()["lbln2"].setCaption("3");
    for (auto _ : st) frm.FillChoicesDivision();
}
BENCHMARK(FillAllEqual)->Unit(benchmark::kMicrosecond);

// The whole worst deal, measured one by one to report the slowest.
void WorstOfManyDeals(benchmark::State& st) {
    Bench b;
    b.frm.state().operation = "subtraction";
    b.frm.state().minNumber = 90;
    b.frm.state().maxNumber = 90;
    std::vector<double> times;
    times.reserve(20000);
    for (auto _ : st) {
        const auto t0 = std::chrono::steady_clock::now();
        b.frm.NewProblem();
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    }
    // The worst single deal includes any preemption by the scheduler; the
    // 99th percentile shows the deal itself.
    std::sort(times.begin(), times.end());
    st.counters["p99_us"] = times[times.size() * 99 / 100];
    st.counters["worst_us"] = times.back();
}
BENCHMARK(WorstOfManyDeals)->Unit(benchmark::kMicrosecond)->Iterations(20000);

// 10,000 timer cards in fake time: the peak resident size must not grow.
void TimerCards(benchmark::State& st) {
    for (auto _ : st) {
        Bench b;
        b.frm.dispatchControl(b.frm.controls()["lblTimer"]);
        auto& list = b.frm.controls()["lstTimer"];
        list.setSelectedIndex(0);
        b.frm.dispatchControl(list);
        b.timer.advance(3000 * 2);
        const long before = peakRssKb();
        for (int card = 0; card < 10000; ++card) b.timer.advance(4000);  // question 2 s + answer 2 s
        const long after = peakRssKb();
        st.counters["cards"] = 10000;
        st.counters["peak_rss_growth_kb"] = static_cast<double>(after - before);
        st.counters["answers_spoken"] = static_cast<double>(b.voice->spoken);
    }
}
BENCHMARK(TimerCards)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
