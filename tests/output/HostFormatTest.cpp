#include <gtest/gtest.h>

#include <cfloat>

#include "qeinteg/platform/host/text/HostFormat.h"

namespace {

using qehost::FormatNumber;

constexpr double kShift = qehost::kDateOriginShift;

TEST(HostFormat, NumberTypes) {
    EXPECT_EQ(FormatNumber(1234.5, {8, 5, 2}), "1234.50");
    EXPECT_EQ(FormatNumber(1234567.891, {12, 3, 2}), "1,234,567.89");
    EXPECT_EQ(FormatNumber(-1234.5, {12, 4, 2}), "-$1,234.50");
    EXPECT_EQ(FormatNumber(1234567.5, {12, 32, 1}), "1.234.567,5");
    EXPECT_EQ(FormatNumber(45.26, {8, 31, 1}), "45.3%");
    EXPECT_EQ(FormatNumber(2.0, {40, 40, 3}), "2.000");
    EXPECT_EQ(FormatNumber(-0.0004, {40, 40, 3}), "0.000");  // no "-0.000"
    EXPECT_EQ(FormatNumber(1.25, {40, 40, 0}), "1.25");
    EXPECT_EQ(FormatNumber(7, {40, 255, 0}), "7");
    EXPECT_EQ(FormatNumber(999.0, {3, 3, 0}), "999");
    EXPECT_EQ(FormatNumber(1000.0, {3, 3, 0}), "1,000");
    EXPECT_EQ(FormatNumber(12345.678, {10, 17, 2}), "1.23E+04");
    EXPECT_EQ(FormatNumber(-DBL_MAX, {8, 5, 2}), ".");
    EXPECT_EQ(FormatNumber(1.0 / 0.0, {8, 5, 2}), "*");
}

TEST(HostFormat, DatesCountFromTheHostOrigin) {
    // The first day of the host calendar and the Unix epoch.
    EXPECT_EQ(FormatNumber(0, {11, 20, 0}), "14-OCT-1582");
    EXPECT_EQ(FormatNumber(kShift, {11, 20, 0}), "01-JAN-1970");
    const double t = kShift + 19723 * 86400.0 + 13 * 3600 + 5 * 60 + 9;  // 2024-01-01 13:05:09
    EXPECT_EQ(FormatNumber(t, {20, 22, 0}), "01-JAN-2024 13:05:09");
    EXPECT_EQ(FormatNumber(t, {10, 23, 0}), "01/01/2024");
    EXPECT_EQ(FormatNumber(t, {10, 39, 0}), "2024/01/01");
    EXPECT_EQ(FormatNumber(t, {10, 38, 0}), "01.01.2024");
    EXPECT_EQ(FormatNumber(t, {19, 86, 0}), "2024-01-01 13:05:09");
    EXPECT_EQ(FormatNumber(t, {7, 24, 0}), "2024001");
    EXPECT_EQ(FormatNumber(t, {8, 28, 0}), "JAN 2024");
    EXPECT_EQ(FormatNumber(t, {8, 29, 0}), "1 Q 2024");
    // Leap day and the last day of a leap year.
    const double leap = kShift + (19723 + 59) * 86400.0;
    EXPECT_EQ(FormatNumber(leap, {10, 39, 0}), "2024/02/29");
    EXPECT_EQ(FormatNumber(kShift + (19723 + 365) * 86400.0, {7, 24, 0}), "2024366");
    EXPECT_EQ(FormatNumber(-1, {11, 20, 0}), "*");
    EXPECT_EQ(FormatNumber(1e14, {11, 20, 0}), "*");
}

TEST(HostFormat, TimesAndNamedValues) {
    EXPECT_EQ(FormatNumber(3725, {8, 21, 0}), "1:02:05");
    EXPECT_EQ(FormatNumber(90000, {8, 21, 0}), "25:00:00");  // durations pass 24 hours
    EXPECT_EQ(FormatNumber(3725.25, {10, 21, 2}), "1:02:05.25");
    EXPECT_EQ(FormatNumber(125, {5, 85, 0}), "02:05");
    EXPECT_EQ(FormatNumber(90061, {11, 25, 0}), "1 01:01:01");
    EXPECT_EQ(FormatNumber(1, {9, 26, 0}), "Sunday");
    EXPECT_EQ(FormatNumber(12, {9, 27, 0}), "December");
    EXPECT_EQ(FormatNumber(13, {9, 27, 0}), "*");
    EXPECT_EQ(qehost::ValueToText(2.5, {6, 5, 1}), "   2.5");
}

}  // namespace
