// Calendar days as day numbers: the count of days since 30 December 1899 (day 0), held in a
// double without fraction. 1 January 2010 is day 40179. Gregorian leap years throughout.
#pragma once

#include <cstdint>

namespace tollwick {

struct CivilDate {
  int year;
  int month;
  int day;
};

bool IsLeapYear(int64_t year);
int DaysInMonth(int64_t year, int64_t month);

// Whether 1 <= year <= 9999, 1 <= month <= 12 and 1 <= day <= DaysInMonth(year, month).
bool IsValidDate(int64_t year, int64_t month, int64_t day);

// Raises EConvertError "Invalid argument to date encode" unless IsValidDate.
double EncodeDate(int64_t year, int64_t month, int64_t day);

// The inverse of EncodeDate for any day of the years 1 to 9999.
CivilDate DecodeDate(double day_number);

}  // namespace tollwick
