// SPDX-License-Identifier: GPL-3.0-or-later
// The run's one random source, shared by dealing and the answer choices.
#pragma once

#include <cstdint>

namespace problems {

// A monotonic clock reading; only its changes matter.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint64_t now() = 0;
};

class RandomSource {
public:
    virtual ~RandomSource() = default;
    // r with 0 <= r < 1, in single precision.
    virtual float next() = 0;
    // Mixes a fresh clock reading into the state.
    virtual void reseed() = 0;
};

// xoshiro128**-style generator whose re-seed folds the clock into the current
// state instead of replacing it: re-seeding many times within one clock tick
// still moves the sequence on, and it never waits for the clock.
class MixingRandom final : public RandomSource {
public:
    explicit MixingRandom(Clock& clock, std::uint64_t seed = 0x9E3779B97F4A7C15ull);
    float next() override;
    void reseed() override;

private:
    std::uint32_t nextWord();
    Clock& clock_;
    std::uint32_t state_[4];
};

// The steady clock of the standard library, in nanoseconds.
class SteadyClock final : public Clock {
public:
    std::uint64_t now() override;
};

}  // namespace problems
