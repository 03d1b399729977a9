// Host date numbers: seconds since the start of the Gregorian calendar (14 October 1582). The
// engine counts from the host's base date instead, 1 January 1970.
#pragma once

#include <string>

// Host seconds of the base date that the engine's dates and timestamps count from.
double GetBaseDateNumber();

namespace qehost {

// Host seconds at midnight of a calendar date (proleptic Gregorian).
double HostDateNumber(int year, int month, int day);
// Parses "yyyy-mm-dd", "yyyy-mm-dd hh:mm[:ss[.fff]]" or "yyyy-mm-ddThh:mm:ss" into host seconds.
bool ParseHostDateTime(const std::string& text, double& seconds);
// Parses "hh:mm[:ss[.fff]]" into seconds.
bool ParseHostTime(const std::string& text, double& seconds);

}  // namespace qehost
