#include <gtest/gtest.h>

#include <algorithm>

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

TEST(TimeInterval, ExtremeDatesAreInvalidPointsNotOverflow) {
    // Beyond ~1e11 days (or ~9.2e15 s) the millisecond count once overflowed a signed
    // multiplication (undefined behaviour; the sanitizer build stops on it).
    EngineField date{"d", Storage::Date};
    TimePointCollector collector(date, true);
    for (double days : {0.0, 1.0, 2.0, 1e12, -1e12, 1.2e11, 1e300, -1e300, 3.0}) {
        Cell c;
        c.missing = false;
        c.number = days;
        collector.add(c);
    }
    const TimeIntervalResult r = collector.finish();
    EXPECT_EQ(r.invalid, 5u);
    EXPECT_EQ(r.shape.points, 4u);
    EXPECT_EQ(r.shape.unit, TimeUnit::Days);
    EXPECT_TRUE(r.shape.regular);

    EngineField stamp{"t", Storage::Timestamp};
    TimePointCollector seconds(stamp, true);
    for (double s : {9.3e15, -9.3e15, 60.0, 120.0}) {
        Cell c;
        c.missing = false;
        c.number = s;
        seconds.add(c);
    }
    EXPECT_EQ(seconds.finish().invalid, 2u);

    // Detection on its own leaves such values out, and the edge of the range still counts.
    const IntervalShape shape =
        DetectInterval({kMaxTimePointSeconds, -kMaxTimePointSeconds, 1e300, -1e300});
    EXPECT_EQ(shape.points, 2u);
    EXPECT_EQ(shape.first, -kMaxTimePointSeconds);
    // Such values still print, as plain numbers.
    EXPECT_EQ(FormatTemporal(Storage::Date, 1e12), "1000000000000");
    EXPECT_EQ(FormatTemporal(Storage::Date, 1.0), "1970-01-02");
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

TEST(TimeInterval, TheShapeDoesNotDependOnWhenThePointsComeOutOfOrder) {
    // A daily panel (three series per day) with a gap, a month-end run and an off-grid point. The
    // sorted stream is kept as runs of distances; a point out of order switches to keeping every
    // point, at the first, a middle or the last position. Each way gives the same shape.
    std::vector<double> points;
    for (int i = 0; i < 60; ++i) {
        if (i == 20)
            continue;  // the gap
        for (int k = 0; k < 3; ++k)
            points.push_back(Day(2021, 1, 1) + i * kDay);
    }
    points.push_back(Day(2021, 3, 2) + 3600);  // off the grid
    const IntervalShape sorted = DetectInterval(points);
    EXPECT_TRUE(sorted.sorted);
    EXPECT_EQ(sorted.unit, TimeUnit::Days);
    EXPECT_EQ(sorted.points, 60u);
    EXPECT_EQ(sorted.duplicates, 118u);
    EXPECT_EQ(sorted.gaps, 1u);
    EXPECT_EQ(sorted.irregular, 1u);
    for (size_t at : {size_t{1}, points.size() / 2, points.size() - 1}) {
        SCOPED_TRACE(at);
        std::vector<double> moved = points;
        std::rotate(moved.begin(), moved.begin() + static_cast<long>(at), moved.end());
        const IntervalShape s = DetectInterval(moved);
        EXPECT_FALSE(s.sorted);
        EXPECT_EQ(s.unit, sorted.unit);
        EXPECT_EQ(s.step, sorted.step);
        EXPECT_EQ(s.points, sorted.points);
        EXPECT_EQ(s.duplicates, sorted.duplicates);
        EXPECT_EQ(s.gaps, sorted.gaps);
        EXPECT_EQ(s.irregular, sorted.irregular);
        EXPECT_EQ(s.first, sorted.first);
        EXPECT_EQ(s.last, sorted.last);
    }
    // Month ends in order, then one repeated out of order: still monthly and regular.
    std::vector<double> ends;
    for (int m = 1; m <= 12; ++m)
        ends.push_back(Day(2020, m, DaysInMonth(2020, m)));
    ends.push_back(ends[3]);
    const IntervalShape e = DetectInterval(ends);
    EXPECT_FALSE(e.sorted);
    EXPECT_EQ(e.unit, TimeUnit::Months);
    EXPECT_EQ(e.duplicates, 1u);
    EXPECT_TRUE(e.regular);
}
