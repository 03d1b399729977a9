#include "qeinteg/platform/host/text/HostDates.h"

#include <cstdio>
#include <cstdlib>

namespace qehost {
namespace {

// Days from 1970-01-01 to y-m-d (Howard Hinnant's civil-from-days inverse).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool ValidDate(int y, int m, int d) {
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1582 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1])
        return false;
    if (m == 2 && d == 29)
        return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return true;
}

}  // namespace

double HostDateNumber(int year, int month, int day) {
    return static_cast<double>(DaysFromCivil(year, month, day) - DaysFromCivil(1582, 10, 14)) *
           86400.0;
}

bool ParseHostTime(const std::string& text, double& seconds) {
    int h = 0, m = 0, consumed = 0;
    double s = 0;
    if (std::sscanf(text.c_str(), "%d:%d%n", &h, &m, &consumed) < 2)
        return false;
    if (static_cast<size_t>(consumed) < text.size()) {
        int more = 0;
        if (text[consumed] != ':' ||
            std::sscanf(text.c_str() + consumed, ":%lf%n", &s, &more) < 1 ||
            static_cast<size_t>(consumed + more) != text.size())
            return false;
    }
    if (h < 0 || m < 0 || m > 59 || s < 0 || s >= 60)
        return false;
    seconds = h * 3600.0 + m * 60.0 + s;
    return true;
}

bool ParseHostDateTime(const std::string& text, double& seconds) {
    int y = 0, mo = 0, d = 0, consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &consumed) < 3 || consumed != 10)
        return false;
    if (!ValidDate(y, mo, d))
        return false;
    double t = 0;
    if (text.size() > 10) {
        if (text[10] != ' ' && text[10] != 'T')
            return false;
        if (!ParseHostTime(text.substr(11), t) || t >= 86400.0)
            return false;
    }
    seconds = HostDateNumber(y, mo, d) + t;
    return true;
}

}  // namespace qehost

double GetBaseDateNumber() {
    return qehost::HostDateNumber(1970, 1, 1);
}
