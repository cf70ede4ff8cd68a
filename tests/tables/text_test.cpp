#include "tables/text.h"

#include <gtest/gtest.h>

#include "tables/errors.h"

namespace tollwick {
namespace {

TEST(StrToInt, AcceptedForms) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"0", 0},
      {"42", 42},
      {"  42", 42},
      {"+7", 7},
      {"-7", -7},
      {" -0012", -12},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"$FF", 255},
      {"xff", 255},
      {"X10", 16},
      {"0x10", 16},
      {"0XaB", 171},
      {"$FFFFFFFF", -1},
      {"$80000000", INT32_MIN},
      {"-$10", -16},
      {"$000000010", 16},
      {"007", 7},
  };
  for (const auto& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(StrToInt, RejectedFormsNameTheWholeText) {
  const char* cases[] = {
      "",     " ",  "+",  "-",          "2147483648", "-2147483649", "1 ",  "1.5",
      "1e3",  "$",  "0x", "$100000000", "12a",        "- 1",         "\t1", "99999999999999999999",
      "0x-1", "--1"};
  for (const char* text : cases) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const TollwickError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::EConvertError);
      EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid integer value");
    }
  }
}

TEST(Text, CaseAndTrimTouchOnlyAscii) {
  EXPECT_EQ(LowerAscii("AbZ\xC4-9"), "abz\xC4-9");
  EXPECT_EQ(UpperAscii("aBz\xE4-9"), "ABZ\xE4-9");
  EXPECT_EQ(TrimControl(std::string_view("\x01 \t a b \r\n\0", 11)), "a b");
  EXPECT_EQ(TrimControl("\xA0x\xA0"), "\xA0x\xA0");
  EXPECT_EQ(TrimControl("   "), "");
}

TEST(ErrorReport, Layout) {
  EXPECT_EQ(FormatErrorReport(ErrorKind::EConvertError, "tollwick", 0x4010AB, "Bad"),
            "Exception EConvertError in module tollwick at 004010AB.\r\nBad.\r\n\r\n");
  EXPECT_EQ(FormatErrorReport(ErrorKind::EZeroDivide, "t", 0, "Done."),
            "Exception EZeroDivide in module t at 00000000.\r\nDone.\r\n\r\n");
  EXPECT_EQ(FormatErrorReport(ErrorKind::EInOutError, "t", 1, ""),
            "Exception EInOutError in module t at 00000001.\r\n\r\n\r\n");
}

}  // namespace
}  // namespace tollwick
