// How the dialogs' edits read and show numbers.
#include "dialogs/NumberText.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace ocu;

TEST(NumberText, Integers) {
    struct Case {
        const char* text;
        std::optional<int> value;
    };
    for (const Case c : {Case{"60", 60}, Case{" \t-9 ", -9}, Case{"+5", 5}, Case{"0", 0},
                         Case{"99999999999", std::numeric_limits<int>::max()},
                         Case{"-99999999999", std::numeric_limits<int>::min()}, Case{"", std::nullopt},
                         Case{"  ", std::nullopt}, Case{"1.5", std::nullopt}, Case{"12a", std::nullopt},
                         Case{"- 3", std::nullopt}, Case{"0x10", std::nullopt}, Case{"1 2", std::nullopt}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseIntegerText(QString::fromLatin1(c.text)), c.value);
    }
}

TEST(NumberText, NumbersAndTheirZeroRule) {
    struct Case {
        const char* text;
        std::optional<double> value;
    };
    for (const Case c : {Case{"0.3", 0.3}, Case{" 3\t", 3.0}, Case{"1e-1", 0.1}, Case{"2.", 2.0},
                         Case{".5", 0.5}, Case{"-1.25E+2", -125.0}, Case{"0", 0.0}, Case{"  0.000", 0.0},
                         Case{"1e-999", std::nullopt}, // underflows to zero, and does not start with 0
                         Case{".0", std::nullopt}, Case{"-0", std::nullopt}, Case{"", std::nullopt},
                         Case{"abc", std::nullopt}, Case{"1,5", std::nullopt}, Case{"inf", std::nullopt},
                         Case{"nan", std::nullopt}, Case{"0x1p3", std::nullopt}, Case{"1 e5", std::nullopt},
                         // Only 31 characters are read: the 32nd is not part of the number.
                         Case{"1.000000000000000000000000000005x", 1.0}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseNumberText(QString::fromLatin1(c.text)), c.value);
    }
    EXPECT_TRUE(std::isinf(*ParseNumberText(QStringLiteral("1e999"))));
}

TEST(NumberText, FifteenSignificantDigits) {
    EXPECT_EQ(FormatNumber(1.0), "1");
    EXPECT_EQ(FormatNumber(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FormatNumber(0.3), "0.3");
    EXPECT_EQ(FormatNumber(0.0), "0");
    EXPECT_EQ(FormatNumber(1.06), "1.06");
}
