// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>

#include "testbed/torture.h"

// A short run for every test pass; the benchmark target runs a million
// events (ABACORN_TORTURE_EVENTS sets the count here too).
TEST(Torture, RandomEventsKeepEveryInvariant) {
    long count = 20000;
    if (const char* env = std::getenv("ABACORN_TORTURE_EVENTS")) count = std::atol(env);
    for (std::uint64_t seed : {1u, 2u}) {
        testbed::Torture run(seed);
        testbed::TortureStats stats;
        ASSERT_NO_THROW(stats = run.run(count / 2)) << "seed " << seed;
        EXPECT_GT(stats.nested, 0);
        EXPECT_GT(stats.fillings, 0);
        EXPECT_LE(stats.deepest, app::frmSplash::kMaxNestedPasses);
    }
}
