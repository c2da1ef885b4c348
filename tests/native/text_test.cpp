#include "common/text.h"

#include <gtest/gtest.h>

#include <cmath>

#include "fakes.h"

namespace verlisk {
namespace {

TEST(NumberText, GeneralFormatInBothSettings) {
    struct Case {
        double value;
        const char *point, *comma;
    };
    testing::FakeRegional us, de(true);
    for (const auto& c : {Case{-0.0, "0", "0"}, Case{-52.5, "-52.5", "-52,5"},
                          Case{1e15, "1E+15", "1E+15"}, Case{0.0001, "0.0001", "0,0001"},
                          Case{1e-5, "1E-05", "1E-05"}, Case{1.5e-10, "1.5E-10", "1,5E-10"}}) {
        EXPECT_EQ(NumberText(c.value, us), c.point);
        EXPECT_EQ(NumberText(c.value, de), c.comma);
    }
}

TEST(RoundHalfEven, OnTheDecimalValue) {
    struct Case {
        double value;
        int decimals;
        double expected;
    };
    for (const auto& c : {
             Case{52.25, 1, 52.2}, Case{0.5, 0, 0},
             Case{2.675, 2, 2.68},  // binary 2.675 is just below; its decimal value is a half
             Case{0.6, 0, 1},       // no digit kept, still rounds up
             Case{2.51, 0, 3},      // above the half
             Case{INFINITY, 1, INFINITY},     // garbage from a module stays as it is
             Case{0.1 + 0.2, 15, 0.1 + 0.2},  // 15 digits already: nothing to round
         }) {
        EXPECT_EQ(RoundHalfEven(c.value, c.decimals), c.expected)
            << c.value << " to " << c.decimals;
    }
}

TEST(DateTime, SecondsAndCalendarAgree) {
    const DateTime a{2026, 12, 31, 23, 59, 30, 900};
    EXPECT_EQ(SecondsBetween(a, {2027, 1, 1, 0, 0, 10, 0}), 40);
    EXPECT_EQ(SecondsBetween({2024, 2, 28, 0, 0, 0}, {2024, 3, 1, 0, 0, 0}), 2 * 86400);
    EXPECT_EQ(SecondsBetween({2026, 3, 1, 0, 0, 0}, {2026, 2, 28, 0, 0, 0}), -86400);
    EXPECT_EQ(AddSeconds(a, 40), (DateTime{2027, 1, 1, 0, 0, 10, 900}));
    EXPECT_EQ(AddSeconds({2026, 12, 4, 19, 59, 59}, 6), (DateTime{2026, 12, 4, 20, 0, 5}));
    // Day by day through four centuries (2000 a leap year, 2100 and 2200 not): every
    // date steps to the next one and 146097 days are exactly 400 years.
    DateTime d{1900, 1, 1, 0, 0, 0};
    for (int i = 0; i < 146097; ++i) {
        const DateTime next = AddSeconds(d, 86400);
        const bool newMonth = next.day == 1;
        ASSERT_TRUE(newMonth ? (next.month == d.month % 12 + 1 && d.day >= 28)
                             : (next.month == d.month && next.day == d.day + 1))
            << d.year << "-" << d.month << "-" << d.day;
        ASSERT_EQ(next.year, d.year + (newMonth && d.month == 12 ? 1 : 0));
        ASSERT_EQ(SecondsBetween(d, next), 86400);
        d = next;
    }
    EXPECT_EQ(d, (DateTime{2300, 1, 1, 0, 0, 0}));
}

}  // namespace
}  // namespace verlisk
