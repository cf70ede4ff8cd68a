#include "base/day_number.h"

#include <cmath>
#include <string>

#include "base/errors.h"

namespace tollwick {

namespace {

constexpr int64_t kDaysBeforeMonth[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};

// Days from 1 January of year 1 to 1 January of `year`.
int64_t DaysBeforeYear(int64_t year) {
  int64_t y = year - 1;
  return 365 * y + y / 4 - y / 100 + y / 400;
}

constexpr int64_t kDayZeroOffset = 693594;  // day number of 1 January of year 1 is -693593

}  // namespace

bool IsLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int64_t year, int64_t month) {
  const auto& table = kDaysBeforeMonth[IsLeapYear(year) ? 1 : 0];
  return static_cast<int>(table[month] - table[month - 1]);
}

bool IsValidDate(int64_t year, int64_t month, int64_t day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

double EncodeDate(int64_t year, int64_t month, int64_t day) {
  if (!IsValidDate(year, month, day))
    Raise(ErrorKind::EConvertError, std::string(kInvalidDateMessage));
  int64_t day_of_year = kDaysBeforeMonth[IsLeapYear(year) ? 1 : 0][month - 1] + day;
  return static_cast<double>(DaysBeforeYear(year) + day_of_year - kDayZeroOffset);
}

CivilDate DecodeDate(double day_number) {
  int64_t n = static_cast<int64_t>(std::floor(day_number)) + kDayZeroOffset - 1;  // 0 = 0001-01-01
  // Estimate the year, then correct it; the estimate is never off by more than one.
  int64_t year = n * 400 / 146097 + 1;
  while (DaysBeforeYear(year) > n) --year;
  while (DaysBeforeYear(year + 1) <= n) ++year;
  int64_t day_of_year = n - DaysBeforeYear(year);  // 0-based
  const auto& table = kDaysBeforeMonth[IsLeapYear(year) ? 1 : 0];
  int month = 1;
  while (month < 12 && table[month] <= day_of_year) ++month;
  return {static_cast<int>(year), month, static_cast<int>(day_of_year - table[month - 1] + 1)};
}

}  // namespace tollwick
