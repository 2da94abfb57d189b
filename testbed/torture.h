// SPDX-License-Identifier: GPL-3.0-or-later
// Random events against the window on fakes: clicks on every control with a
// handler, picks in the three lists, timer ticks, and events injected inside
// the event passes of pauses and deals, so that handlers nest. After every
// event the window's invariants are checked; the first broken one throws.
#pragma once

#include <chrono>
#include <cmath>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "problems/numbers.h"
#include "testbed/fakes.h"

namespace testbed {

struct TortureStats {
    long events = 0;
    long nested = 0;
    long deals = 0;
    long fillings = 0;
    int deepest = 0;
    double seconds = 0;
};

class Torture {
public:
    explicit Torture(std::uint64_t seed) : rng_(seed), rig_(true, seed) {
        rig_.started();
        rig_.pump.onPass = [this](long) { onPass(); };
    }

    TortureStats run(long count) {
        const auto t0 = std::chrono::steady_clock::now();
        for (long i = 0; i < count; ++i) {
            randomEvent();
            ++stats_.events;
            check("after event " + std::to_string(i));
            rig_.said().clear();
        }
        stats_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        return stats_;
    }

private:
    // Everything the child or the clock can do.
    void randomEvent() {
        static const char* const clicks[] = {
            "lblStandard", "lblInteractive", "lblTimer", "lblClickMe", "lblClickMe", "lblClickMe",
            "Picture1",    "Picture2",       "picPlus",  "picMinus",   "picX",       "picDivide",
            "lbl1",        "lbl2",           "lbl3",     "lbl4",       "lbl5",       "lbl6",
            "img123",      "lblQuillaWrites", "frmSplash"};
        const int n = sizeof clicks / sizeof *clicks;
        std::uniform_int_distribution<int> kind(0, n + 4);
        const int k = kind(rng_);
        if (k < n) {
            clickIfReachable(clicks[k]);
        } else if (k == n) {
            pickIfEnabled("cmbMinNum");
        } else if (k == n + 1) {
            pickIfEnabled("cmbMaxNum");
        } else if (k == n + 2) {
            pickIfEnabled("lstTimer");
        } else {
            std::uniform_int_distribution<int> ms(1, 4000);
            rig_.timer.advance(ms(rng_));
        }
    }

    // The child can only click what is shown: hidden controls, and the
    // tiles of a hidden frame, are out of reach.
    void clickIfReachable(const char* name) {
        auto& c = rig_[name];
        if (!c.visible()) return;
        if (std::string(name).rfind("lbl", 0) == 0 && std::string(name).size() == 4 &&
            !rig_["frameChoices"].visible())
            return;
        if (std::string(name) == "Picture1" || std::string(name) == "Picture2") {
            // Rarely: keep speech on most of the time so that speech is exercised.
            std::uniform_int_distribution<int> d(0, 9);
            if (d(rng_)) return;
        }
        rig_.click(name);
    }

    void pickIfEnabled(const char* name) {
        auto& c = rig_[name];
        if (!c.enabled()) return;
        if (std::string(name) == "lstTimer" && !rig_["frameTimer"].visible()) return;
        std::uniform_int_distribution<int> index(std::string(name) == "lstTimer" ? -1 : 0, c.itemCount() - 1);
        rig_.pick(name, index(rng_));
    }

    void onPass() {
        stats_.deepest = std::max(stats_.deepest, rig_.frm.nestedPasses());
        // About one injected event per 20,000 passes: a few inside each pause
        // and, now and then, one inside a deal's single pass.
        std::uniform_int_distribution<int> d(0, 19999);
        if (d(rng_) == 0) {
            ++stats_.nested;
            randomEvent();
        }
    }

    void fail(const std::string& where, const std::string& what) {
        std::ostringstream m;
        m << what << " (" << where << "; mode " << rig_.s().mode.value_or("?") << ", operation "
          << rig_.s().operation.value_or("?") << ", card " << rig_["lbln1"].caption() << " "
          << rig_["lblOperation"].caption() << " " << rig_["lbln2"].caption() << ")";
        throw std::runtime_error(m.str());
    }

    void check(const std::string& where) {
        auto count = [&](std::initializer_list<const char*> names) {
            int v = 0;
            for (const char* n : names) v += rig_[n].visible();
            return v;
        };
        if (count({"ShapeStandard", "shapeInteractive", "ShapeTimer"}) != 1) fail(where, "mode dots");
        if (count({"shpAddition", "shpSubtraction", "shpMultiplication", "shpDivision"}) != 1)
            fail(where, "operation dots");
        if (rig_["Picture1"].visible() == rig_["Picture2"].visible()) fail(where, "loudspeakers");
        const auto& mode = rig_.s().mode;
        if (!(mode == "standard" || mode == "interactive" || mode == "timer")) fail(where, "mode word");
        const auto& op = rig_.s().operation;
        if (!(op == "addition" || op == "subtraction" || op == "multiplication" || op == "division"))
            fail(where, "operation word");

        const auto tiles = rig_.tiles();
        if (!tiles[0].empty()) {
            ++stats_.fillings;
            std::set<std::string> distinct(tiles.begin(), tiles.end());
            if (distinct.size() != 6) fail(where, "equal tiles");
            int right = 0;
            for (const auto& t : tiles) right += static_cast<float>(problems::readNumber(t)) == rig_.s().answer;
            if (right != 1) fail(where, "tiles with the answer: " + std::to_string(right));
        }

        if (rig_["lbln1"].visible() && rig_["lbln2"].visible()) {
            ++stats_.deals;
            const double top = problems::readNumber(rig_["lbln1"].caption());
            const double bottom = problems::readNumber(rig_["lbln2"].caption());
            if (top - bottom < 0 && op == "subtraction") fail(where, "negative difference");
            if (op == "division" && (bottom < 1 || std::floor(top / bottom) != top / bottom))
                fail(where, "uneven quotient");
        }
        if (rig_.frm.nestedPasses() != 0) fail(where, "unbalanced passes");
    }

    std::mt19937_64 rng_;
    testbed::Rig rig_;
    TortureStats stats_;
};

}  // namespace testbed
