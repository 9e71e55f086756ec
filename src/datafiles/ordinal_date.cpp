#include "datafiles/ordinal_date.h"

#include <array>

#include "platform/system_calls.h"

namespace rv4410 {

namespace {

constexpr OrdinalDate kCenturyPivot = 80000;
constexpr OrdinalDate kCentury = 100000;
constexpr std::array<const char*, 12> kMonthNames = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

void PutTwoDigits(std::string& out, std::int32_t value) {
  int lastTwo = static_cast<int>((value % 100 + 100) % 100);
  out += static_cast<char>('0' + lastTwo / 10);
  out += static_cast<char>('0' + lastTwo % 10);
}

}  // namespace

OrdinalDate AdjustOrdinalDate(OrdinalDate value) {
  return value < kCenturyPivot ? value + kCentury : value;
}

OrdinalDate TodayOrdinal(std::time_t now) {
  std::tm local = LocalTime(now);
  return local.tm_year * 1000 + local.tm_yday + 1;
}

std::string FormatOrdinalDate(OrdinalDate value) {
  std::int32_t year = value / 1000;
  std::int32_t day = value % 1000;
  std::array<std::int32_t, 12> monthDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year % 4 == 0) monthDays[1] = 29;
  std::size_t month = 0;
  while (month + 1 < monthDays.size() && day > monthDays[month]) day -= monthDays[month++];
  std::string text;
  PutTwoDigits(text, day);
  text += '-';
  text += kMonthNames[month];
  text += '-';
  PutTwoDigits(text, year);
  return text;
}

}  // namespace rv4410
