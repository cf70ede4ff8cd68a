// The shared integer syntax, the system's error texts, the day numbers of the calendar, and
// descriptors kept off the standard ones.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>

#include "base/day_number.h"
#include "base/errors.h"
#include "base/file_descriptor.h"
#include "base/text.h"
#include "base/warnings.h"
#include "support/checks.h"

namespace tollwick {
namespace {

using testing::ErrorOf;
using testing::NotInteger;

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
  // Years and months the standard calendar has too but the day numbers do not.
  const CivilDate bad_dates[] = {{0, 1, 1},    {-1, 1, 1},    {10000, 1, 1},
                                 {2010, 0, 1}, {2010, 13, 1}, {2010, 1, 65537}};
  for (const CivilDate& bad : bad_dates)
    EXPECT_EQ(ErrorOf([&] { EncodeDate(bad.year, bad.month, bad.day); }),
              "EConvertError: Invalid argument to date encode")
        << bad.year << "-" << bad.month << "-" << bad.day;
}

// Of the six kinds that name one file, the first five of each are written and the rest summed
// up after every other warning, the kinds in the order they first came.
TEST(WarningList, FloodsAreSummedUp) {
  const std::string w = "tollwick: warning: ";
  const std::tuple<WarningKind, std::string, std::string> kinds[] = {
      {WarningKind::Utf16, "file is", "files are UTF-16 text, which is not read"},
      {WarningKind::CutShort, "archive could not be read to its end",
       "archives could not be read to their end"},
      {WarningKind::NoReportEntry, "archive holds",
       "archives hold no entry \"fulfillmentreport.xml\""},
      {WarningKind::NoWorksheet, "file holds",
       "files hold no worksheet \"SKU detail\" or \"Purchase History\""},
      {WarningKind::NotZip, "archive is not a zip archive", "archives are not zip archives"},
      {WarningKind::RowsPassedOver, "file has",
       "files have rows passed over: their start tags carry attributes"},
  };
  for (size_t count : {5, 6, 7}) {
    WarningList list;
    std::string written, sums;
    for (const auto& [kind, one, many] : kinds) {
      for (size_t i = 0; i < count; ++i) {
        list.Add(std::to_string(i), kind);
        if (i < 5) written += w + std::to_string(i) + "\n";
      }
      // The singular replaces the words of the plural up to where they agree.
      const std::string single = one.find(' ') == one.rfind(' ')
                                     ? one + many.substr(many.find(' ', many.find(' ') + 1))
                                     : one;
      if (count > 5)
        sums += w + std::to_string(count - 5) + " more " + (count == 6 ? single : many) + "\n";
    }
    list.Add("last");
    EXPECT_EQ(list.Lines(), written + w + "last\n" + sums) << count;
  }
}

// Nothing on standard error steers a terminal: control bytes and UTF-8 C1 controls are escaped,
// in warnings and in the error report's message.
TEST(WarningList, ControlBytesAreEscaped) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\ntollwick: warning: b", "a\\x0Atollwick: warning: b"},
      {"\x1B[31mred\x7F", "\\x1B[31mred\\x7F"},
      {std::string("\0\t\r\x1F", 4), "\\x00\\x09\\x0D\\x1F"},
      {"\xC2\x9B\xC2\x80\xC2\xA0\xC2", "\\xC2\\x9B\\xC2\\x80\xC2\xA0\xC2"},
      {"\x9B\xC3\x9B back\\slash caf\xC3\xA9 ", "\x9B\xC3\x9B back\\slash caf\xC3\xA9 "},
  };
  for (const auto& [raw, shown] : cases) {
    WarningList list;
    list.Add(Quoted(raw));
    EXPECT_EQ(list.Lines(), "tollwick: warning: \"" + shown + "\"\n");
    EXPECT_EQ(FormatErrorReport(ErrorKind::EConvertError, "m", 0, raw),
              "Exception EConvertError in module m at 00000000.\r\n" + shown + ".\r\n\r\n");
  }
}

// A file opened where standard input was closed moves above 2 and leaves that place free.
TEST(FileDescriptor, MoveAboveStandardFreesThePlace) {
  const int saved = ::dup(STDIN_FILENO);
  ::close(STDIN_FILENO);
  const int low = ::open("/dev/null", O_RDONLY);
  const FileDescriptor moved(MoveAboveStandard(low));
  const int place_taken = ::fcntl(STDIN_FILENO, F_GETFD);
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
  EXPECT_EQ(low, STDIN_FILENO);
  EXPECT_GT(moved.get(), STDERR_FILENO);
  EXPECT_EQ(place_taken, -1);
}

}  // namespace
}  // namespace tollwick
