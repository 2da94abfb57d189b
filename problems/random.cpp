// SPDX-License-Identifier: GPL-3.0-or-later
#include "problems/random.h"

#include <chrono>

namespace problems {
namespace {

std::uint64_t splitmix(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint32_t rotl(std::uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

}  // namespace

MixingRandom::MixingRandom(Clock& clock, std::uint64_t seed) : clock_(clock) {
    std::uint64_t x = seed;
    for (auto& w : state_) w = static_cast<std::uint32_t>(splitmix(x) >> 32);
}

std::uint32_t MixingRandom::nextWord() {
    const std::uint32_t result = rotl(state_[1] * 5, 7) * 9;
    const std::uint32_t t = state_[1] << 9;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotl(state_[3], 11);
    return result;
}

float MixingRandom::next() {
    // 24 random bits give every float in [0, 1) on a 2^-24 grid, never 1.
    return static_cast<float>(nextWord() >> 8) * (1.0f / 16777216.0f);
}

void MixingRandom::reseed() {
    // Fold the clock and the current state together, then rebuild the state
    // from the mix: the same clock reading twice still gives two new states.
    std::uint64_t x = clock_.now() ^ (static_cast<std::uint64_t>(state_[0]) << 32 | state_[1]) ^
                      (static_cast<std::uint64_t>(state_[2]) << 17) ^ state_[3];
    for (auto& w : state_) w = static_cast<std::uint32_t>(splitmix(x) >> 32);
    if ((state_[0] | state_[1] | state_[2] | state_[3]) == 0) state_[0] = 1;
}

std::uint64_t SteadyClock::now() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

}  // namespace problems
