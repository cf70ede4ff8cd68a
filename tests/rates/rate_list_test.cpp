#include "rates/rate_list.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <optional>

namespace tollwick {
namespace {

struct RateCase {
  std::string_view text;
  std::optional<long double> value;  // nullopt: does not read
};

void CheckRates(std::string_view separator, const std::vector<RateCase>& cases) {
  for (const RateCase& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " with separator " + std::string(separator));
    long double value = 42;
    bool read = ParseRateText(c.text, separator, value);
    EXPECT_EQ(read, c.value.has_value());
    if (c.value) {
      EXPECT_EQ(value, *c.value);
    } else {
      EXPECT_EQ(value, 42);
    }
  }
}

TEST(ParseRateText, GrammarWithAPoint) {
  CheckRates(".", {
                      {"1.3000", 1.3L},
                      {"1.3", 1.3L},
                      {"0.85", 0.85L},
                      {"8.5e-1", 0.85L},
                      {"85E-2", 0.85L},
                      {"1e+2", 100},
                      {".5", 0.5L},
                      {"5.", 5},
                      {"+2", 2},
                      {"-2.5", -2.5L},
                      {"  1.5  ", 1.5L},
                      {"007", 7},
                      {"0", 0},
                      {"123456789012345678901234567890", 123456789012345678901234567890.0L},
                      {"0.1000000000000000000000000000000000001", 0.1L},
                      {"1.18973149535723176502e+4932", LDBL_MAX},
                      {"1e-5000", 0},
                      {"1e4933", std::nullopt},
                      {"", std::nullopt},
                      {" ", std::nullopt},
                      {".", std::nullopt},
                      {"+", std::nullopt},
                      {"-.", std::nullopt},
                      {"e5", std::nullopt},
                      {"1e", std::nullopt},
                      {"1e+", std::nullopt},
                      {"1.3 US dollar", std::nullopt},
                      {"1,3", std::nullopt},
                      {"1.3.", std::nullopt},
                      {"1..3", std::nullopt},
                      {"+-1", std::nullopt},
                      {"- 1", std::nullopt},
                      {"\t1", std::nullopt},
                      {"1\t", std::nullopt},
                      {"0x10", std::nullopt},
                      {"inf", std::nullopt},
                      {"nan", std::nullopt},
                      {"1e5.5", std::nullopt},
                  });
}

TEST(ParseRateText, GrammarWithAComma) {
  // Every "." becomes the separator first, so both spellings read.
  CheckRates(",", {
                      {"1.3000", 1.3L},
                      {"1,3000", 1.3L},
                      {",5", 0.5L},
                      {"5.e1", 50},
                      {"1.3,0", std::nullopt},
                      {"1,,3", std::nullopt},
                      {"1 3", std::nullopt},
                  });
  // A separator of several bytes works the same way.
  CheckRates("\xd9\xab", {{"1.25", 1.25L},
                          {"1\xd9\xab"
                           "25",
                           1.25L},
                          {"1,25", std::nullopt}});
}

struct Entry {
  std::string code;
  long double rate;
  bool operator==(const Entry&) const = default;
};

std::vector<Entry> Read(std::string_view text, std::string_view separator = ".") {
  RateTable table;
  ReadRateList(text, separator, table);
  std::vector<Entry> entries;
  for (const RCONVERT& r : table.records()) entries.push_back({r.Code, r.Rate});
  return entries;
}

TEST(ReadRateList, LinesAndBreaks) {
  const std::vector<Entry> three = {{"USD", 1.3L}, {"GBP", 0.85L}, {"EUR", 1}};
  EXPECT_EQ(Read("EUR 1.00 = USD 1.3000\r\nEUR 1.00 = GBP 0.8500\nEUR 1.00 = EUR 1.0000"), three);
  EXPECT_EQ(Read("EUR 1.00 = USD 1.3000<br>EUR 1.00 = GBP 0.8500<br>EUR 1.00 = EUR 1.0000<br>"),
            three);
  EXPECT_EQ(Read("<p>\r\nEUR 1.00 = USD 1.3000<br>EUR 1.00 = GBP 0.8500\rEUR 1.00 = EUR 1.0000"),
            three);
  // "<BR>" breaks nothing: the rest stays in the rate text, which then does not read.
  EXPECT_EQ(Read("EUR 1.00 = USD 1.3<BR>EUR 1.00 = GBP 0.85"), (std::vector<Entry>{{"USD", 0}}));
  // A NUL ends the text.
  EXPECT_EQ(Read(std::string("EUR 1.00 = USD 1.3\n\0EUR 1.00 = GBP 0.85", 39)),
            (std::vector<Entry>{{"USD", 1.3L}}));
}

TEST(ReadRateList, WhichLinesCount) {
  struct Case {
    std::string_view line;
    std::vector<Entry> entries;
  };
  const Case cases[] = {
      {"EUR 1.00 = USD 1.3", {{"USD", 1.3L}}},
      {"EUR 1.00 = USD  1.3", {{"USD", 1.3L}}},        // two blanks
      {"EUR 1.00 = USD 1.3 \t", {{"USD", 1.3L}}},      // trimmed
      {"EUR 1.00 =   USD 1.3", {{"USD", 1.3L}}},       // trimmed
      {"EUR 1.00 = USD 1.3 US dollar", {{"USD", 0}}},  // a further word
      {"EUR 1.00 = USD abc", {{"USD", 0}}},
      {"EUR 1.00 = USD 1.3=2", {{"USD", 0}}},
      {"EUR 1.00 = usd\t 1.3", {{"usd\t", 1.3L}}},  // the code ends at the first blank
      {"EUR 1.00 = USD", {}},
      {"EUR 1.00 = USD\t1.3", {}},
      {"EUR 1.00 = ", {}},
      {"EUR 1.00 =", {}},
      {"EUR 1.00 =USD 1.3", {}},
      {" EUR 1.00 = USD 1.3", {}},
      {"eur 1.00 = USD 1.3", {}},
      {"EUR 1,00 = USD 1.3", {}},
      {"USD 1.3000", {}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Read(c.line), c.entries) << c.line;
}

TEST(ReadRateList, RepeatedCodesKeepEveryEntry) {
  EXPECT_EQ(Read("EUR 1.00 = USD 1.3\nEUR 1.00 = USD 1.4\n"),
            (std::vector<Entry>{{"USD", 1.3L}, {"USD", 1.4L}}));
}

TEST(ReadRateList, EveryTruncatedPrefixReadsWithoutHarm) {
  const std::string full = "EUR 1.00 = USD 1.3000<br>EUR 1.00 = GBP 0.8500\r\nEUR 1.00 = EUR 1\r\n";
  for (size_t n = 0; n <= full.size(); ++n) {
    std::vector<Entry> entries = Read(full.substr(0, n));
    EXPECT_LE(entries.size(), 3u);
    for (const Entry& e : entries)
      EXPECT_TRUE(e.code == "USD" || e.code == "GBP" || e.code == "EUR");
  }
  EXPECT_EQ(Read(full).size(), 3u);
}

}  // namespace
}  // namespace tollwick
