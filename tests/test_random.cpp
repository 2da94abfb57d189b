// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "problems/random.h"

namespace {

struct FrozenClock final : problems::Clock {
    std::uint64_t now() override { return reading; }
    std::uint64_t reading = 123456789;
};

// Pearson's chi-square statistic of counts against a uniform expectation.
double chiSquare(const std::vector<long>& counts) {
    long total = 0;
    for (long c : counts) total += c;
    const double expected = static_cast<double>(total) / counts.size();
    double chi = 0;
    for (long c : counts) chi += (c - expected) * (c - expected) / expected;
    return chi;
}

}  // namespace

TEST(RandomSource, DrawsLieInTheUnitIntervalAndAreUniform) {
    FrozenClock clock;
    problems::MixingRandom rnd(clock, 7);
    std::vector<long> buckets(50);
    for (int i = 0; i < 200000; ++i) {
        const float r = rnd.next();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        ++buckets[static_cast<std::size_t>(r * 50)];
    }
    // 49 degrees of freedom: the 0.999 quantile is about 85.
    EXPECT_LT(chiSquare(buckets), 85);
}

TEST(RandomSource, ReseedingWithAFrozenClockStillVaries) {
    FrozenClock clock;
    problems::MixingRandom rnd(clock, 7);
    std::vector<long> buckets(10);
    float last = -1;
    int repeats = 0;
    for (int i = 0; i < 50000; ++i) {
        rnd.reseed();
        const float r = rnd.next();
        if (r == last) ++repeats;
        last = r;
        ++buckets[static_cast<std::size_t>(r * 10)];
    }
    EXPECT_LT(repeats, 5);
    EXPECT_LT(chiSquare(buckets), 27.9);  // 9 degrees of freedom, 0.999
}

TEST(RandomSource, TheClockChangesTheSequence) {
    FrozenClock a, b;
    b.reading = a.reading + 1;
    problems::MixingRandom ra(a, 7), rb(b, 7);
    ra.reseed();
    rb.reseed();
    int same = 0;
    for (int i = 0; i < 100; ++i) same += ra.next() == rb.next();
    EXPECT_LT(same, 3);
}

TEST(RandomSource, TheSteadyClockNeverGoesBack) {
    problems::SteadyClock clock;
    std::uint64_t last = clock.now();
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t now = clock.now();
        ASSERT_GE(now, last);
        last = now;
    }
}
