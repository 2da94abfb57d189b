// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "choices/judge.h"
#include "choices/separate.h"
#include "problems/numbers.h"
#include "problems/operations.h"
#include "settings/range.h"
#include "ui/control.h"

using problems::readNumber;
using problems::writeNumber;
using problems::writeSingle;

TEST(Numbers, ReadsTheNumberAtTheStartOfAText) {
    EXPECT_EQ(readNumber("24"), 24);
    EXPECT_EQ(readNumber(""), 0);
    EXPECT_EQ(readNumber("abc"), 0);
    EXPECT_EQ(readNumber("  15"), 15);
    EXPECT_EQ(readNumber("12 seconds"), 12);
    EXPECT_EQ(readNumber("2.25"), 2.25);
    EXPECT_EQ(readNumber("-3"), -3);
    EXPECT_EQ(readNumber("+7x"), 7);
    EXPECT_EQ(readNumber("1e3"), 1000);
    EXPECT_EQ(readNumber("5e"), 5);      // an exponent needs a digit
    EXPECT_EQ(readNumber("5e+"), 5);
    EXPECT_EQ(readNumber("3.5.1"), 3.5);  // a second point cannot continue it
    EXPECT_EQ(readNumber("-"), 0);
    EXPECT_EQ(readNumber("."), 0);
    EXPECT_EQ(readNumber(".5"), 0.5);
    EXPECT_EQ(readNumber("111"), 111);
}

TEST(Numbers, ReadsTheEdgesOfADouble) {
    // Every standard library reads these alike, the browser's too.
    EXPECT_EQ(readNumber("1e400"), HUGE_VAL);
    EXPECT_EQ(readNumber("-1e400"), -HUGE_VAL);
    EXPECT_EQ(readNumber("1.7976931348623157e308"), 1.7976931348623157e308);
    EXPECT_EQ(readNumber("1e-320"), 1e-320);  // subnormal, not out of range
    EXPECT_EQ(readNumber("0.1"), 0.1);
    EXPECT_EQ(readNumber("123456789012345678"), 123456789012345678.0);
    EXPECT_EQ(writeNumber(1e300), "1e+300");
    EXPECT_EQ(writeNumber(1e-5), "1e-05");
    EXPECT_EQ(writeNumber(123456789012345678.0), "1.23456789012346e+17");
    EXPECT_EQ(writeNumber(0.1 + 0.2), "0.3");
}

TEST(Numbers, WritesPlainDecimal) {
    EXPECT_EQ(writeNumber(24), "24");
    EXPECT_EQ(writeNumber(0), "0");
    EXPECT_EQ(writeNumber(-0.0), "0");
    EXPECT_EQ(writeNumber(144), "144");
    EXPECT_EQ(writeNumber(10000), "10000");
    EXPECT_EQ(writeNumber(2.25), "2.25");
    EXPECT_EQ(writeNumber(-3), "-3");
    EXPECT_EQ(writeNumber(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(writeSingle(24.0f), "24");
    EXPECT_EQ(writeSingle(2.25f), "2.25");
    EXPECT_EQ(writeSingle(1.0f / 3), "0.3333333");
    EXPECT_EQ(writeSingle(10000.0f), "10000");
    // Round trip of every answer a card can show.
    for (int v = 0; v <= 10000; ++v) EXPECT_EQ(readNumber(writeNumber(v)), v);
}

TEST(Numbers, IgnoreTheProcessLocale) {
    // The toolkit sets the locale from the environment; a comma locale must
    // not change how numbers are read or written.
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8")) {
        EXPECT_EQ(writeNumber(2.25), "2.25");
        EXPECT_EQ(readNumber("2.25"), 2.25);
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(ChoiceSeparation, RaisesLaterEqualsByOneAndKeepsEveryValue) {
    // The board of the worked example before and after one pass.
    choices::Board b{"7", "3", "3", "7", "8", "12"};
    choices::separateDuplicates(b);
    EXPECT_EQ(b, (choices::Board{"7", "3", "4", "8", "9", "12"}));
    EXPECT_FALSE(choices::hasDuplicates(b));

    // A label equal to several earlier ones is raised once only.
    choices::Board c{"2", "2", "2", "0", "0", "1"};
    choices::separateDuplicates(c);
    EXPECT_EQ(c, (choices::Board{"2", "3", "3", "0", "1", "2"}));
    EXPECT_TRUE(choices::hasDuplicates(c));
}

TEST(ChoiceSeparation, AllEqualEndsAsARunAfterFivePasses) {
    choices::Board b{"1", "1", "1", "1", "1", "1"};
    int passes = 0;
    do {
        choices::separateDuplicates(b);
        ++passes;
    } while (choices::hasDuplicates(b));
    EXPECT_EQ(passes, 5);
    EXPECT_EQ(b, (choices::Board{"1", "2", "3", "4", "5", "6"}));
}

// The pure rules the window's logic is built on, at their own level.
TEST(Operations, TableWordsAnswersAndLookUp) {
    using problems::findOperation;
    using problems::workedAnswer;
    for (int i = 0; i < problems::kOperationCount; ++i) {
        const auto& op = problems::kOperations[i];
        EXPECT_EQ(op.index, i);
        EXPECT_EQ(findOperation(std::string(op.word)), &op);
        EXPECT_EQ(op.division, i == problems::kDivisionIndex) << op.word;
    }
    EXPECT_EQ(findOperation(std::nullopt), nullptr);
    EXPECT_EQ(findOperation(std::string("Addition")), nullptr);  // compared exactly
    const auto& ops = problems::kOperations;
    EXPECT_EQ(workedAnswer(ops[problems::kAdditionIndex], 12, 12), 24);
    EXPECT_EQ(workedAnswer(ops[problems::kSubtractionIndex], 12, 12), 0);
    EXPECT_EQ(workedAnswer(ops[problems::kMultiplicationIndex], 12, 12), 144);
    EXPECT_EQ(workedAnswer(ops[problems::kDivisionIndex], 12, 12), 1);
    EXPECT_EQ(workedAnswer(ops[problems::kDivisionIndex], 7, 0), std::nullopt);  // no zero divisor
    EXPECT_EQ(workedAnswer(ops[problems::kDivisionIndex], 0, 0), std::nullopt);
}

TEST(ChoiceJudging, ByValueInSinglePrecision) {
    EXPECT_TRUE(choices::isRightAnswer(12.0f, "12"));
    EXPECT_TRUE(choices::isRightAnswer(12.0f, "12.0"));
    EXPECT_TRUE(choices::isRightAnswer(0.1f, "0.1"));
    EXPECT_TRUE(choices::isRightAnswer(0.0f, ""));  // an empty caption reads 0
    EXPECT_FALSE(choices::isRightAnswer(12.0f, "13"));
    EXPECT_FALSE(choices::isRightAnswer(std::nullopt, "0"));  // no answer yet matches nothing
}

TEST(RangeRule, MinimumNotAboveMaximumReadFromTheSelection) {
    EXPECT_TRUE(settings::validRange(3, 3));
    EXPECT_TRUE(settings::validRange(9, 10));
    EXPECT_FALSE(settings::validRange(10, 9));
    ui::ControlSpec design;
    design.kind = ui::Kind::ComboBox;
    design.items = {"9", "10", "100"};
    ui::Control list(design);
    EXPECT_EQ(settings::selectedValue(list), 0);  // nothing selected
    list.setSelectedIndex(1);
    EXPECT_EQ(settings::selectedValue(list), 10);
}
