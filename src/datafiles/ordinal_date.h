#pragma once
// Dates of the map database: YY * 1000 + day of the year (1 = 1 January).
// Two-digit years 00 to 79 stand for 2000 to 2079, 80 to 99 for 1980 to 1999.

#include <cstdint>
#include <ctime>
#include <string>

namespace rv4410 {

using OrdinalDate = std::int32_t;

// Puts a two-digit-year date on the scale of TodayOrdinal (years since 1900).
OrdinalDate AdjustOrdinalDate(OrdinalDate value);
// The local date of `now` as (year - 1900) * 1000 + day of the year.
OrdinalDate TodayOrdinal(std::time_t now);
// "DD-MMM-YY". Every fourth year is a leap year. A day past the end of the
// year stays in December, and only the last two digits of day and year print.
std::string FormatOrdinalDate(OrdinalDate value);

}  // namespace rv4410
