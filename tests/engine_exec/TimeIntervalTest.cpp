#include <gtest/gtest.h>

#include "qeinteg/platform/engine/stats/TimeIntervals.h"

using namespace qelocal;

namespace {

constexpr double kDay = 86400.0;

double Day(int64_t y, int m, int d) {
    return static_cast<double>(DaysFromCivil(y, m, d)) * kDay;
}

}  // namespace

TEST(TimeInterval, RegularDailyWeeklyAndSubDailySteps) {
    std::vector<double> days;
    for (int i = 0; i < 10; ++i)
        days.push_back(Day(2020, 2, 25) + i * kDay);
    IntervalShape s = DetectInterval(days);
    EXPECT_EQ(s.unit, TimeUnit::Days);
    EXPECT_EQ(s.step, 1);
    EXPECT_EQ(s.points, 10u);
    EXPECT_TRUE(s.regular);
    EXPECT_EQ(s.first, Day(2020, 2, 25));
    EXPECT_EQ(s.last, Day(2020, 3, 5));

    std::vector<double> weeks = {Day(2020, 1, 6), Day(2020, 1, 20), Day(2020, 2, 3)};
    s = DetectInterval(weeks);
    EXPECT_EQ(s.unit, TimeUnit::Weeks);
    EXPECT_EQ(s.step, 2);

    std::vector<double> quarterHours;
    for (int i = 0; i < 8; ++i)
        quarterHours.push_back(1000 * kDay + i * 900);
    s = DetectInterval(quarterHours);
    EXPECT_EQ(s.unit, TimeUnit::Minutes);
    EXPECT_EQ(s.step, 15);

    s = DetectInterval({0, 3 * 3600.0, 6 * 3600.0});
    EXPECT_EQ(s.unit, TimeUnit::Hours);
    EXPECT_EQ(s.step, 3);

    s = DetectInterval({0.0, 0.25, 0.5, 0.75});
    EXPECT_EQ(s.unit, TimeUnit::Seconds);
    EXPECT_DOUBLE_EQ(s.step, 0.25);
    EXPECT_TRUE(s.regular);
}

TEST(TimeInterval, CalendarUnitsFollowMonthLengths) {
    std::vector<double> months;
    for (int m = 1; m <= 12; ++m)
        months.push_back(Day(2019, m, 1));
    IntervalShape s = DetectInterval(months);
    EXPECT_EQ(s.unit, TimeUnit::Months);
    EXPECT_EQ(s.step, 1);
    EXPECT_TRUE(s.regular);

    // Month ends are one month apart although their day numbers differ.
    std::vector<double> ends;
    for (int m = 1; m <= 12; ++m)
        ends.push_back(Day(2020, m, DaysInMonth(2020, m)));
    s = DetectInterval(ends);
    EXPECT_EQ(s.unit, TimeUnit::Months);
    EXPECT_TRUE(s.regular);

    s = DetectInterval({Day(2020, 1, 1), Day(2020, 4, 1), Day(2020, 7, 1), Day(2021, 1, 1)});
    EXPECT_EQ(s.unit, TimeUnit::Quarters);
    EXPECT_EQ(s.step, 1);
    EXPECT_EQ(s.gaps, 1u);  // 2020-10-01 is missing
    EXPECT_FALSE(s.regular);

    s = DetectInterval({Day(2000, 6, 30), Day(2002, 6, 30), Day(2004, 6, 30)});
    EXPECT_EQ(s.unit, TimeUnit::Years);
    EXPECT_EQ(s.step, 2);
    EXPECT_TRUE(s.regular);
}

TEST(TimeInterval, DuplicatesGapsDisorderAndIrregularSpacing) {
    // Three series sharing yearly time points, listed series by series.
    std::vector<double> panel;
    for (int series = 0; series < 3; ++series) {
        for (int y = 2001; y <= 2005; ++y)
            panel.push_back(Day(y, 1, 1));
    }
    IntervalShape s = DetectInterval(panel);
    EXPECT_EQ(s.unit, TimeUnit::Years);
    EXPECT_EQ(s.points, 5u);
    EXPECT_EQ(s.duplicates, 10u);
    EXPECT_FALSE(s.sorted);
    EXPECT_TRUE(s.regular);  // duplicates do not break the grid
    EXPECT_EQ(s.first, Day(2001, 1, 1));
    EXPECT_EQ(s.last, Day(2005, 1, 1));

    // Business days: weekends are gaps on a daily grid.
    std::vector<double> business;
    for (int d = 6; d <= 17; ++d) {  // 2020-01-06 is a Monday
        const int weekday = (d - 6) % 7;
        if (weekday < 5)
            business.push_back(Day(2020, 1, d));
    }
    s = DetectInterval(business);
    EXPECT_EQ(s.unit, TimeUnit::Days);
    EXPECT_EQ(s.gaps, 2u);
    EXPECT_EQ(s.irregular, 0u);
    EXPECT_FALSE(s.regular);

    // An off-grid point is irregular, not a gap.
    s = DetectInterval({0, 3600, 7200, 9000, 10800, 14400});
    EXPECT_EQ(s.unit, TimeUnit::Hours);
    EXPECT_EQ(s.irregular, 2u);
    EXPECT_FALSE(s.regular);
}

TEST(TimeInterval, TooFewPointsGiveNoUnit) {
    IntervalShape s = DetectInterval({});
    EXPECT_EQ(s.unit, TimeUnit::None);
    EXPECT_EQ(s.points, 0u);
    EXPECT_FALSE(s.regular);

    s = DetectInterval({Day(2020, 1, 1), Day(2020, 1, 1)});
    EXPECT_EQ(s.unit, TimeUnit::None);
    EXPECT_EQ(s.points, 1u);
    EXPECT_EQ(s.duplicates, 1u);
    EXPECT_EQ(s.first, s.last);
    EXPECT_FALSE(s.regular);
}

TEST(TimeInterval, CollectorReadsTextFieldsAndCountsWhatItCannotRead) {
    EngineField text{"when", Storage::String};
    TimePointCollector collector(text, false);
    // One value in ten that no format reads does not hide the format.
    for (const char* v :
         {"2020/01/01 00:00:00", "2020/01/01 01:00:00", " 2020/01/01 02:00:00 ", "garbage",
          "2020/01/01 04:00:00", "2020/01/01 05:00:00", "2020/01/01 06:00:00",
          "2020/01/01 07:00:00", "2020/01/01 08:00:00", "2020/01/01 09:00:00"}) {
        Cell c;
        c.missing = false;
        c.text = v;
        collector.add(c);
    }
    collector.add(Cell{});  // missing
    TimeIntervalResult r = collector.finish();
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.format, "yyyy/MM/dd HH:mm:ss");
    EXPECT_EQ(r.timeStorage, Storage::Timestamp);
    EXPECT_EQ(r.records, 11u);
    EXPECT_EQ(r.missing, 1u);
    EXPECT_EQ(r.invalid, 1u);
    EXPECT_EQ(r.shape.unit, TimeUnit::Hours);
    EXPECT_EQ(r.shape.points, 9u);
    EXPECT_EQ(r.shape.gaps, 1u);

    // More values than the detection sample: the later ones are parsed with the settled format.
    TimePointCollector many(text, false);
    std::vector<std::string> texts;
    for (int i = 0; i < 500; ++i)
        texts.push_back(FormatDate(18000 + i));
    for (const std::string& t : texts) {
        Cell c;
        c.missing = false;
        c.text = t;
        many.add(c);
    }
    r = many.finish();
    EXPECT_EQ(r.shape.points, 500u);
    EXPECT_TRUE(r.shape.regular);

    EngineField real{"amount", Storage::Real};
    TimePointCollector wrong(real, true);
    Cell c;
    c.missing = false;
    c.number = 5;
    wrong.add(c);
    r = wrong.finish();
    EXPECT_NE(r.error.find("not a date/time field"), std::string::npos);
    EXPECT_EQ(r.shape.points, 0u);

    TimePointCollector noise(text, false);
    c.text = "hello";
    noise.add(c);
    r = noise.finish();
    EXPECT_NE(r.error.find("no known date/time format"), std::string::npos);
}
