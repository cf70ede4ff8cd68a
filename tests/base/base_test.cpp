// The shared integer syntax and the day numbers of the calendar.
#include <gtest/gtest.h>

#include <climits>

#include "base/day_number.h"
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

TEST(Dates, EveryDayOfTheCalendar) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  double expected = -693593;  // every day follows the last and decodes back
  for (int y = 1; y <= 9999; ++y)
    for (int m = 1; m <= 12; ++m)
      for (int d = 1; d <= DaysInMonth(y, m); ++d, ++expected) {
        CivilDate back = DecodeDate(expected);
        ASSERT_TRUE(EncodeDate(y, m, d) == expected && back.year == y && back.month == m &&
                    back.day == d)
            << y << "-" << m << "-" << d;
      }
  EXPECT_EQ(EncodeDate(2010, 1, 1), 40179);
  for (auto [y, m, d] : {std::tuple{0, 1, 1},
                         {10000, 1, 1},
                         {2010, 2, 29},
                         {2100, 2, 29},
                         {2010, 4, 31},
                         {2010, 13, 1},
                         {2010, 1, 0},
                         {2010, 1, 65537}})
    EXPECT_EQ(ErrorOf([&] { EncodeDate(y, m, d); }),
              "EConvertError: Invalid argument to date encode");
}

}  // namespace
}  // namespace tollwick
