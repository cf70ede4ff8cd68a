#include <gtest/gtest.h>

#include <climits>

#include "output/format.h"

namespace tollwick {
namespace {

TEST(FormatCents, Values) {
  const struct {
    int64_t value;
    const char* text;
  } cases[] = {{0, "0.00"},
               {5, "0.05"},
               {7, "0.07"},
               {100, "1.00"},
               {105, "1.05"},
               {12345, "123.45"},
               {-5, "-0.05"},
               {-105, "-1.05"},
               {-12345, "-123.45"},
               {2147483647, "21474836.47"},
               {2147483648LL, "21474836.48"},
               {INT64_MAX, "92233720368547758.07"},
               {INT64_MIN, "-92233720368547758.08"}};
  for (const auto& c : cases) EXPECT_EQ(FormatCents(c.value), c.text) << c.value;
}

TEST(PadNumber, Widths) {
  EXPECT_EQ(PadNumber(7, 2), "07");
  EXPECT_EQ(PadNumber(999, 4), "0999");
  EXPECT_EQ(PadNumber(2009, 4), "2009");
  EXPECT_EQ(PadNumber(12, 1), "12");
  EXPECT_EQ(PadNumber(0, 2), "00");
  EXPECT_EQ(PadNumber(5, 0), "5");
}

TEST(WriteProductSection, LinesPricesAndHeaders) {
  RunState state;
  state.Skus.AddSku("A-100", "Alpha", "1.0", "detail", "Professional", "US");
  state.Skus.AddSku("B-200", "Beta", "1.0", "detail", "Standard", "DE");
  state.Skus.AddSku("C;1", "Ga;mma", "2", "", "", "");
  state.Skus[0].Currency = "USD";
  state.Skus[0].Amount = 299;
  state.Skus[1].Amount = 105;  // an amount without a currency is not shown
  state.Skus[2].Currency = "EUR";
  state.Skus[2].Amount = -105;
  WriteProductSection(state);
  EXPECT_EQ(state.Output.text(),
            "SKUID;Title;Market;Version;OS Type;Currency;Amount;\r\n"
            "A-100;Alpha;US;1.0;PPC;USD;2.99;\r\n"
            "B-200;Beta;DE;1.0;SP;???;???;\r\n"
            "C;1;Ga;mma;;2;SP;EUR;-1.05;\r\n"
            "\r\n");

  RunState quiet;
  quiet.Options.ShowHeaders = false;
  quiet.Skus.AddSku("A-100", "Alpha", "1.0", "", "Professional", "US");
  WriteProductSection(quiet);
  EXPECT_EQ(quiet.Output.text(), "A-100;Alpha;US;1.0;PPC;???;???;\r\n\r\n");

  RunState empty;
  WriteProductSection(empty);
  EXPECT_EQ(empty.Output.text(), "SKUID;Title;Market;Version;OS Type;Currency;Amount;\r\n\r\n");
}

}  // namespace
}  // namespace tollwick
