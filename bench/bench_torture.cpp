// SPDX-License-Identifier: GPL-3.0-or-later
// A million random events against the window on fakes, with every invariant
// checked after each; prints the count and the time.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "testbed/torture.h"

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    try {
        testbed::Torture run(20261207);
        const testbed::TortureStats s = run.run(count);
        std::printf("events %ld (nested %ld) in %.1f s: %.1f us per event; %ld checked deals, %ld checked fillings, "
                    "deepest nesting %d\n",
                    s.events, s.nested, s.seconds, 1e6 * s.seconds / s.events, s.deals, s.fillings, s.deepest);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "invariant broken: %s\n", e.what());
        return 1;
    }
}
