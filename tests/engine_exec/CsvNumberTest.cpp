#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "qeinteg/platform/engine/exec/EngineTime.h"
#include "qeinteg/platform/engine/io/CsvNumber.h"
#include "qeinteg/platform/engine/io/CsvRowSource.h"

using namespace qelocal;

namespace {

// What a number cell means, computed independently with strtod: the whole text is one finite
// decimal number in range, without blanks, hexadecimal or a sign after a plus.
std::optional<double> Reference(const std::string& text) {
    if (text.empty() || text.find_first_of(" \t\nxXpP") != std::string::npos ||
        text.rfind("+-", 0) == 0 || text.rfind("++", 0) == 0) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(value))
        return std::nullopt;
    return value;
}

void ExpectSameAsReference(const std::string& text) {
    SCOPED_TRACE("'" + text + "'");
    double value = 12345.0;
    const bool read = ParseCsvNumber(text, value);
    const std::optional<double> expected = Reference(text);
    ASSERT_EQ(read, expected.has_value());
    if (read) {
        // Bit for bit: the sign of zero and the last bit of the rounding count.
        EXPECT_EQ(std::bit_cast<uint64_t>(value), std::bit_cast<uint64_t>(*expected));
    }
}

}  // namespace

TEST(CsvNumber, TrickyTextsReadAsStrtodReadsThemOrNotAtAll) {
    for (const char* text : {"0",
                             "-0",
                             "+0",
                             "-0.0",
                             "5.",
                             ".5",
                             "-.5",
                             "+.5",
                             "007",
                             "-12.375",
                             "0.1",
                             "0.30000000000000004",
                             "3.14159265358979",
                             "1e5",
                             "1E5",
                             "1e+5",
                             "1.5e-3",
                             "123456.789e3",
                             "1e400",
                             "-1e400",
                             "1e-400",
                             "nan",
                             "NaN",
                             "-nan",
                             "inf",
                             "-inf",
                             "infinity",
                             "0x10",
                             "1,5",
                             " 1",
                             "1 ",
                             "\t2",
                             "+-5",
                             "++5",
                             "--5",
                             "-+5",
                             "1.2.3",
                             "1e",
                             "e5",
                             "1.5e",
                             ".",
                             "-",
                             "+",
                             "",
                             "-.",
                             "1_000",
                             "12a",
                             "9007199254740992",
                             "9007199254740993",
                             "-9007199254740993",
                             "18446744073709551616",
                             "1234567890123456789",
                             "12345678901234567890",
                             "0.0000000000000000000001",
                             "0.00000000000000000000001",
                             "1.0000000000000000000000001",
                             "99999999999999999.5",
                             "1.7976931348623157e308",
                             "1.7976931348623159e308"}) {
        ExpectSameAsReference(text);
    }
}

TEST(CsvNumber, RandomPlainDecimalsRoundExactlyAsStrtod) {
    // The shortcut divides an integer of up to 19 digits by a power of ten: every digit count,
    // point position and sign, the boundaries near 2^53 included, must round as strtod does.
    std::mt19937_64 random(20261207);
    for (int n = 0; n < 200000; ++n) {
        const int digits = 1 + static_cast<int>(random() % 20);
        std::string text;
        if (random() % 3 == 0)
            text += random() % 2 ? '-' : '+';
        const int point = static_cast<int>(random() % static_cast<uint64_t>(digits + 2)) - 1;
        for (int d = 0; d < digits; ++d) {
            if (d == point)
                text += '.';
            text += static_cast<char>('0' + random() % 10);
        }
        if (point == digits)
            text += '.';
        ExpectSameAsReference(text);
        if (HasFailure())
            return;
    }
}

TEST(CsvReader, IsoTimestampsAndDatesReadAsTheirFormatsReadThem) {
    // Leap days, the last second of a day, times before 1970 and the year 1: the values of a
    // one-pass read must be the ones the formats give. Runs of one date (the reader remembers
    // the last day) are left for the next day, and for a date that differs in one digit only.
    const std::vector<std::string> stamps = {
        "2000-02-29 23:59:59", "2000-02-29 00:00:01", "2000-03-01 00:00:00", "2000-03-02 00:00:00",
        "2000-03-12 00:00:00", "1969-12-31 23:59:59", "0001-01-01 00:00:00", "2024-12-31T12:30:05",
        "2024-12-31 12:30:06", "1970-01-01 00:00:00", "2100-02-28 00:00:01", "2100-02-28 00:00:02"};
    std::string content = "t,d\n";
    for (const std::string& stamp : stamps)
        content += stamp + "," + stamp.substr(0, 10) + "\n";
    const std::string path = qetest::TestDir() + "/iso.csv";
    qetest::WriteFile(path, content);
    const DateTimeFormat space = *DateTimeFormat::Compile("yyyy-MM-dd HH:mm:ss");
    const DateTimeFormat letter = *DateTimeFormat::Compile("yyyy-MM-dd'T'HH:mm:ss");
    const DateTimeFormat date = *DateTimeFormat::Compile("yyyy-MM-dd");
    for (CsvTyping typing : {CsvTyping::Provisional, CsvTyping::Settled}) {
        CsvRowSource source(path, true, std::nullopt, {}, typing);
        ASSERT_EQ(source.fields()[0].storage, Storage::Timestamp);
        ASSERT_EQ(source.fields()[1].storage, Storage::Date);
        for (const std::string& stamp : stamps) {
            SCOPED_TRACE(stamp);
            ASSERT_TRUE(source.next());
            double seconds = 0;
            ASSERT_TRUE(space.Parse(stamp, seconds) || letter.Parse(stamp, seconds));
            EXPECT_EQ(source.cell(0).number, seconds);
            double day = 0;
            ASSERT_TRUE(date.Parse(stamp.substr(0, 10), day));
            EXPECT_EQ(source.cell(1).number, day / 86400.0);
        }
    }

    // A value that only looks like one (no such day, hour or separator) makes the column text.
    for (const char* bad : {"1900-02-29 00:00:00", "2001-02-29 10:00:00", "2000-13-01 00:00:00",
                            "2000-00-10 00:00:00", "2000-01-01 24:00:00", "2000-01-01 23:60:00",
                            "2000-01-01 23:59:60", "2000-01-01_00:00:00", "2000/01/01 00:00:00",
                            "2000-01-01 0a:00:00", "+200-01-01 00:00:00"}) {
        SCOPED_TRACE(bad);
        qetest::WriteFile(path, std::string("t\n2000-01-01 00:00:00\n") + bad + "\n");
        CsvRowSource source(path, true, std::nullopt, {}, CsvTyping::Provisional);
        while (source.next()) {
        }
        EXPECT_EQ(source.fields()[0].storage, Storage::String);
    }
}
