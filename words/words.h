// SPDX-License-Identifier: GPL-3.0-or-later
// The trainer's stored words and flags, named once. The window's state keeps
// them as the texts and numbers below and compares them exactly; the
// operation words are also shown and spoken as they stand.
#pragma once

namespace words {

// Text flags: the range checks, the one-time prompts, the duplicate check.
inline constexpr const char* kYes = "y";
inline constexpr const char* kNo = "n";
// Number flags: awaitingChoice and the one prompt counted with a number.
inline constexpr int kYesNumber = 1;
inline constexpr int kNoNumber = 0;

// speechOff: muted, and spoken again.
inline constexpr const char* kSpeechOff = "x";
inline constexpr const char* kSpeechOn = " ";

// startupGuard: set while start-up makes its own selections in the range
// lists, so that they do not count as picks; emptied when lifted.
inline constexpr const char* kStartupGuard = "44";
inline constexpr const char* kGuardLifted = "";

// mode.
inline constexpr const char* kStandard = "standard";
inline constexpr const char* kInteractive = "interactive";
inline constexpr const char* kTimer = "timer";

// operation: also the caption under the pictures and the word spoken.
inline constexpr const char* kAddition = "addition";
inline constexpr const char* kSubtraction = "subtraction";
inline constexpr const char* kMultiplication = "multiplication";
inline constexpr const char* kDivision = "division";

}  // namespace words
