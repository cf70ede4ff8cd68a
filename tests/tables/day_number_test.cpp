#include "tables/day_number.h"

#include <gtest/gtest.h>

#include "tables/errors.h"

namespace tollwick {
namespace {

TEST(DayNumber, KnownDays) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_EQ(EncodeDate(2010, 1, 1), 40179);
  EXPECT_EQ(EncodeDate(2010, 3, 5), 40242);
  EXPECT_EQ(EncodeDate(2100, 1, 1), 73051);
  EXPECT_EQ(EncodeDate(1998, 1, 1), 35796);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
}

TEST(DayNumber, EveryDayRoundTripsAndFollowsTheLast) {
  double expected = EncodeDate(1, 1, 1);
  for (int y = 1; y <= 9999; ++y)
    for (int m = 1; m <= 12; ++m)
      for (int d = 1; d <= DaysInMonth(y, m); ++d) {
        ASSERT_EQ(EncodeDate(y, m, d), expected) << y << "-" << m << "-" << d;
        CivilDate back = DecodeDate(expected);
        ASSERT_TRUE(back.year == y && back.month == m && back.day == d) << expected;
        expected += 1;
      }
}

TEST(DayNumber, InvalidDatesRaise) {
  const int64_t cases[][3] = {{2010, 2, 29}, {2100, 2, 29},    {2010, 4, 31},  {2010, 13, 1},
                              {2010, 0, 1},  {2010, 1, 0},     {0, 1, 1},      {10000, 1, 1},
                              {2010, 1, 32}, {2010, 65537, 1}, {-65535, 1, 1}, {2010, 1, 65537}};
  for (const auto& c : cases) {
    try {
      EncodeDate(c[0], c[1], c[2]);
      ADD_FAILURE() << c[0] << "-" << c[1] << "-" << c[2];
    } catch (const TollwickError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::EConvertError);
      EXPECT_STREQ(e.what(), "Invalid argument to date encode");
    }
  }
  EXPECT_NO_THROW(EncodeDate(2012, 2, 29));
  EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
}

}  // namespace
}  // namespace tollwick
