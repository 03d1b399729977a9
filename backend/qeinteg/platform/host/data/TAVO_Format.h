// A display format of a host variable: a type code, a width and a number of decimals.
#pragma once

#include <string>

struct TAVO_Format {
    // Type codes of the formats the stand-in knows.
    enum Type : int {
        A = 1,
        AHEX = 2,
        COMMA = 3,
        DOLLAR = 4,
        F = 5,
        N = 16,
        E = 17,
        DATE = 20,
        TIME = 21,
        DATETIME = 22,
        ADATE = 23,
        JDATE = 24,
        DTIME = 25,
        WKDAY = 26,
        MONTH = 27,
        MOYR = 28,
        QYR = 29,
        WKYR = 30,
        EDATE = 38,
        SDATE = 39,
        MTIME = 85,
        YMDHMS = 86,
    };

    int type = F;
    int width = 8;
    int decimals = 2;

    // "F8.2", "A20", "DATE11": the format's usual text.
    std::string ToString() const;
    // Parses that text; false (and the object unchanged) when it is not a known format.
    bool Parse(const std::string& text);

    bool IsString() const { return type == A || type == AHEX; }
    friend bool operator==(const TAVO_Format&, const TAVO_Format&) = default;
};
