// The shared integer syntax, the system's error texts and the day numbers of the calendar.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>

#include "base/day_number.h"
#include "base/errors.h"
#include "base/text.h"
#include "support/checks.h"

namespace tollwick {
namespace {

using testing::ErrorOf;

std::string NotInteger(const std::string& text) {
  return "EConvertError: '" + text + "' is not a valid integer value";
}

TEST(StrToInt, Syntax) {
  // clang-format off
  const std::pair<const char*, int32_t> good[] = {
      {"42", 42}, {"  42", 42}, {"+7", 7}, {" -0012", -12},
      {"$FF", 255}, {"xff", 255}, {"X10", 16}, {"0XaB", 171},
      {"$FFFFFFFF", -1}, {"$80000000", INT32_MIN}, {"-$10", -16}, {"$000000010", 16},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
  };
  // clang-format on
  for (auto [text, value] : good) EXPECT_EQ(StrToInt(text), value) << text;
  for (const char* text :
       {"", " ", "+", "-", "2147483648", "-2147483649", "1 ", "1.5", "$", "0x", "$100000000", "12a",
        "- 1", "\t1", "99999999999999999999", "0x-1", "--1"})
    EXPECT_EQ(ErrorOf([&] { StrToInt(text); }), NotInteger(text));
}

TEST(SystemErrorText, SaysWhatStrerrorSays) {
  for (int err : {-1, 0, 1, 2, 13, 20, 21, 24, 28, 40, 95, 133, 134, 4096})
    EXPECT_EQ(SystemErrorText(err), std::strerror(err)) << err;
}

// Every day 0 to 32 of every month of the years 1 to 9999 against the standard calendar: valid
// exactly when it is a real date, numbered as the days since 30 December 1899, decoded back.
TEST(Dates, MatchTheStandardCalendar) {
  using namespace std::chrono;
  const sys_days day_zero = 1899y / December / 30;
  for (int y = 1; y <= 9999; ++y) {
    ASSERT_EQ(IsLeapYear(y), year{y}.is_leap()) << y;
    for (unsigned m = 1; m <= 12; ++m) {
      const year_month month_of_year = year{y} / month{m};
      ASSERT_EQ(DaysInMonth(y, m), unsigned{(month_of_year / last).day()}) << y << "-" << m;
      for (unsigned d = 0; d <= 32; ++d) {
        const year_month_day date = month_of_year / day{d};
        ASSERT_EQ(IsValidDate(y, m, d), date.ok()) << y << "-" << m << "-" << d;
        if (!date.ok()) continue;
        const auto expected = static_cast<double>((sys_days{date} - day_zero).count());
        const CivilDate back = DecodeDate(expected);
        ASSERT_TRUE(EncodeDate(y, m, d) == expected && back.year == y &&
                    back.month == static_cast<int>(m) && back.day == static_cast<int>(d))
            << y << "-" << m << "-" << d;
      }
    }
  }
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(2010, 1, 1), 40179);
  // Years and months the standard calendar has too but the day numbers do not.
  for (const CivilDate& bad : {CivilDate{0, 1, 1},
                               {-1, 1, 1},
                               {10000, 1, 1},
                               {2010, 0, 1},
                               {2010, 13, 1},
                               {2010, 1, 65537}})
    EXPECT_EQ(ErrorOf([&] { EncodeDate(bad.year, bad.month, bad.day); }),
              "EConvertError: Invalid argument to date encode")
        << bad.year << "-" << bad.month << "-" << bad.day;
}

}  // namespace
}  // namespace tollwick
