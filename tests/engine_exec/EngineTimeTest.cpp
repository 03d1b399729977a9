#include <gtest/gtest.h>

#include "qeinteg/platform/engine/exec/EngineTime.h"

using namespace qelocal;

namespace {

double Seconds(const char* pattern, const char* text) {
    std::optional<DateTimeFormat> format = DateTimeFormat::Compile(pattern);
    EXPECT_TRUE(format.has_value()) << pattern;
    double seconds = -1;
    EXPECT_TRUE(format->Parse(text, seconds)) << pattern << " / " << text;
    return seconds;
}

bool Parses(const char* pattern, const char* text) {
    double ignored = 0;
    return DateTimeFormat::Compile(pattern)->Parse(text, ignored);
}

}  // namespace

TEST(EngineTime, CivilDaysRoundTripAcrossCenturiesAndLeapYears) {
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(DaysFromCivil(1969, 12, 31), -1);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28), 2);  // 2000 is leap
    EXPECT_EQ(DaysFromCivil(1900, 3, 1) - DaysFromCivil(1900, 2, 28), 1);  // 1900 is not
    EXPECT_EQ(DaysFromCivil(1582, 10, 15), -141427);
    for (int64_t day = -800000; day <= 800000; day += 997) {
        const CivilDate d = CivilFromDays(day);
        ASSERT_EQ(DaysFromCivil(d.year, d.month, d.day), day);
        ASSERT_GE(d.day, 1);
        ASSERT_LE(d.day, DaysInMonth(d.year, d.month));
    }
}

TEST(EngineTime, FormatsWriteIsoTextsIncludingBeforeTheEpoch) {
    EXPECT_EQ(FormatDate(0), "1970-01-01");
    EXPECT_EQ(FormatDate(-1), "1969-12-31");
    EXPECT_EQ(FormatTimestamp(-1), "1969-12-31T23:59:59");
    EXPECT_EQ(FormatTimestamp(86400 + 3723.25), "1970-01-02T01:02:03.25");
    EXPECT_EQ(FormatTime(3723), "01:02:03");
    EXPECT_EQ(FormatTemporal(Storage::Date, 15340), "2012-01-01");
}

TEST(EngineTime, PatternsParseTheirWholeTextAndRejectImpossibleDates) {
    EXPECT_EQ(Seconds("yyyy-MM-dd", "2012-01-01"), 15340.0 * 86400);
    EXPECT_EQ(Seconds("yyyy/MM/dd HH:mm:ss", "2012/01/01 13:05:09"), 15340.0 * 86400 + 47109);
    EXPECT_EQ(Seconds("MMM d yyyy", "Jan 1 2012"), 15340.0 * 86400);
    EXPECT_EQ(Seconds("MMM d yyyy", "dec 31 1969"), -86400.0);
    EXPECT_EQ(Seconds("yyyy-MM-dd'T'HH:mm:ss.SSS", "1970-01-01T00:00:01.5"), 1.5);
    EXPECT_EQ(Seconds("HH:mm", "23:59"), 86340.0);

    EXPECT_TRUE(Parses("yyyy-MM-dd", "2020-02-29"));
    EXPECT_FALSE(Parses("yyyy-MM-dd", "2021-02-29"));
    EXPECT_FALSE(Parses("yyyy-MM-dd", "2021-13-01"));
    EXPECT_FALSE(Parses("yyyy-MM-dd", "2021-01-01 "));
    EXPECT_FALSE(Parses("yyyy-MM-dd", "2021-1-01"));
    EXPECT_FALSE(Parses("yyyy-MM-dd", ""));
    EXPECT_FALSE(Parses("HH:mm:ss", "24:00:00"));
    EXPECT_FALSE(Parses("MMM d yyyy", "Foo 1 2012"));
    EXPECT_FALSE(Parses("MMM d yyyy", "Ja"));

    EXPECT_FALSE(DateTimeFormat::Compile("text only").has_value());
    EXPECT_FALSE(DateTimeFormat::Compile("yyyy-'MM").has_value());
    EXPECT_EQ(DateTimeFormat::Compile("yyyy-MM-dd")->storage(), Storage::Date);
    EXPECT_EQ(DateTimeFormat::Compile("HH:mm")->storage(), Storage::Time);
    EXPECT_EQ(DateTimeFormat::Compile("yyyy/MM/dd HH:mm:ss")->storage(), Storage::Timestamp);
}

TEST(EngineTime, DetectionFindsTheFormatThatReadsTheValues) {
    auto detect = [](std::vector<std::string> samples) {
        std::optional<DateTimeFormat> f = DetectDateTimeFormat(samples);
        return f ? f->pattern() : std::string("none");
    };
    EXPECT_EQ(detect({"2012-01-01", "2012-01-02"}), "yyyy-MM-dd");
    EXPECT_EQ(detect({"2012-01-01T10:00:00", "2012-01-01T11:00:00"}), "yyyy-MM-dd'T'HH:mm:ss");
    EXPECT_EQ(detect({"2012/01/01 10:00:00", "2012/01/01 11:00:00"}), "yyyy/MM/dd HH:mm:ss");
    EXPECT_EQ(detect({"Jan 5 2020", "Feb 15 2020", "Mar 1 2020"}), "MMM d yyyy");
    // A day above 12 settles the order of day and month.
    EXPECT_EQ(detect({"01/02/2020", "03/04/2020"}), "MM/dd/yyyy");
    EXPECT_EQ(detect({"01/02/2020", "25/04/2020"}), "dd/MM/yyyy");
    // One stray value in twenty does not hide the format; mostly noise does.
    std::vector<std::string> mostly(19, "2020-05-05");
    mostly.push_back("n/a");
    EXPECT_EQ(detect(mostly), "yyyy-MM-dd");
    EXPECT_EQ(detect({"apple", "pear", "2020-01-01"}), "none");
    EXPECT_EQ(detect({}), "none");
    EXPECT_EQ(detect({"", ""}), "none");
}
