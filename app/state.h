// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the window remembers between two user actions. A field that has
// never been written is empty (std::nullopt) and equals none of the texts and
// numbers it is compared with.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "speech/speech_engine.h"

namespace app {

struct State {
    std::shared_ptr<speech::SpeechEngine> voice;
    std::optional<double> minNumber;
    std::optional<double> maxNumber;
    std::optional<double> loopIndex;
    std::optional<double> timerInterval;
    std::optional<std::string> operation;
    std::optional<std::string> operationWord;
    std::optional<std::string> mode;
    std::optional<std::string> minRangeOk;
    std::optional<std::string> maxRangeOk;
    std::optional<std::string> speechOff;
    std::optional<int> awaitingChoice;
    std::optional<std::string> startupGuard;
    std::optional<std::string> duplicateChoices;
    std::optional<int> saidClickCorrectAnswer;
    std::optional<std::string> saidClickForAnswer;
    std::optional<std::string> saidClickToContinue;
    std::optional<float> answer;
};

// A number that was never set counts as 0 in arithmetic.
inline double num(const std::optional<double>& v) { return v.value_or(0.0); }

}  // namespace app
