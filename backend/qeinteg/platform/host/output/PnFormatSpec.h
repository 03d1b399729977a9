// The host's display format of a number: field width, format type code and decimal places, the same
// four bytes a format takes in the host's dictionary.
//
// Type codes the host knows:
//   1 string            3 comma (1,234.50)     4 dollar ($1,234.50)   5 fixed (1234.50)
//  17 scientific        20 date dd-mmm-yyyy    21 time hh:mm:ss       22 date-time
//  23 mm/dd/yyyy        24 yyyyddd             25 dd hh:mm:ss         26 weekday (1-7)
//  27 month (1-12)      28 mmm yyyy            29 q Q yyyy            30 ww WK yyyy
//  31 percent           32 dot (1.234,50)      38 dd.mm.yyyy          39 yyyy/mm/dd
//  40 general           85 mm:ss               86 yyyy-mm-dd hh:mm:ss 255 none (shown as general)
// General shows the given decimals, or with none as many as the value needs.
// Date types count seconds since 1582-10-14 00:00; time types count seconds.
#pragma once

#include <cstdint>

struct PnFormatSpec {
    std::uint16_t width = 40;
    std::uint8_t type = 40;
    std::uint8_t decimals = 0;

    PnFormatSpec() = default;
    PnFormatSpec(int w, int t, int d)
        : width(static_cast<std::uint16_t>(w)),
          type(static_cast<std::uint8_t>(t)),
          decimals(static_cast<std::uint8_t>(d)) {}

    friend bool operator==(const PnFormatSpec&, const PnFormatSpec&) = default;
};
