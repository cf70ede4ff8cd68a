#include "tables/money_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>

#include "tables/errors.h"

namespace tollwick {
namespace {

TEST(CurrencyTable, RegisterFindsOrAppendsAndZeroesTheTotal) {
  CurrencyTable table;
  table.RegisterCurrency("USD");
  table.RegisterCurrency("EUR");
  table.AddToCurrency("USD", 500);
  table.AddToCurrency("USD", -125);
  EXPECT_EQ(table[0].Total, 375);
  table.RegisterCurrency("USD");
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].Code, "USD");
  EXPECT_EQ(table[0].Total, 0);
  EXPECT_EQ(table[1].Code, "EUR");
}

TEST(CurrencyTable, UnknownCodesAreIgnoredAndCaseCounts) {
  CurrencyTable table;
  table.RegisterCurrency("USD");
  table.AddToCurrency("usd", 100);
  table.AddToCurrency("USD ", 100);
  table.AddToCurrency("GBP", 100);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].Total, 0);
  table.AddToCurrency("USD", 7);
  table.ResetCurrencyTotals();
  EXPECT_EQ(table[0].Total, 0);
  EXPECT_EQ(table.Find("usd"), CurrencyTable::npos);
}

TEST(CurrencyTable, TotalsUseSixtyFourBitsAndNeverWrap) {
  CurrencyTable table;
  table.RegisterCurrency("USD");
  for (int i = 0; i < 4; ++i) table.AddToCurrency("USD", std::numeric_limits<int32_t>::max());
  EXPECT_EQ(table[0].Total, 4 * int64_t{std::numeric_limits<int32_t>::max()});
  table[0].Total = std::numeric_limits<int64_t>::max() - 1;
  table.AddToCurrency("USD", 1);
  try {
    table.AddToCurrency("USD", 1);
    FAIL() << "no error";
  } catch (const TollwickError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::EInvalidOp);
    EXPECT_STREQ(e.what(), "Invalid floating point operation");
  }
}

// The ordering as written down: n - 1 full passes from the end, exchanging on strictly less,
// bytes compared as unsigned values.
std::vector<RCUR> LiteralBubbleSort(std::vector<RCUR> records) {
  auto less = [](const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x != y) return x < y;
    }
    return a.size() < b.size();
  };
  size_t n = records.size();
  for (size_t pass = 1; pass < n; ++pass)
    for (size_t j = n - 1; j >= 1; --j)
      if (less(records[j].Code, records[j - 1].Code)) std::swap(records[j], records[j - 1]);
  return records;
}

TEST(CurrencyTable, SortMatchesTheLiteralBubbleSort) {
  std::mt19937 rng(20240611);
  const std::string alphabet = std::string("AaZz\x7f\x80\xff\xe9", 8) + std::string(1, '\0');
  for (int round = 0; round < 500; ++round) {
    CurrencyTable table;
    size_t count = rng() % 12;
    for (size_t k = 0; k < count; ++k) {
      std::string code;
      size_t length = rng() % 4;
      for (size_t c = 0; c < length; ++c) code += alphabet[rng() % alphabet.size()];
      table.RegisterCurrency(code);
    }
    for (size_t k = 0; k < table.size(); ++k) table[k].Total = static_cast<int64_t>(k) * 10 + 1;
    std::vector<RCUR> expected = LiteralBubbleSort(table.records());
    table.SortCurrencies();
    ASSERT_EQ(table.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
      EXPECT_EQ(table[k].Code, expected[k].Code);
      EXPECT_EQ(table[k].Total, expected[k].Total);
      // The index follows the new order.
      EXPECT_EQ(table.Find(expected[k].Code), k);
    }
  }
}

TEST(CurrencyTable, SortOrdersByBytes) {
  CurrencyTable table;
  for (const char* code : {"usd", "\xc2\xa3", "USDX", "USD", "EUR", ""})
    table.RegisterCurrency(code);
  table.SortCurrencies();
  std::vector<std::string> codes;
  for (const RCUR& cur : table.records()) codes.push_back(cur.Code);
  EXPECT_EQ(codes, (std::vector<std::string>{"", "EUR", "USD", "USDX", "usd", "\xc2\xa3"}));
}

struct Division {
  int64_t amount;
  long double rate;
  std::optional<int64_t> result;  // nullopt: an error
  ErrorKind kind = ErrorKind::EInvalidOp;
};

TEST(DivideAndRound, RoundsHalfToEvenAndReportsFaults) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  const Division cases[] = {
      {5, 2, 2},
      {7, 2, 4},
      {-5, 2, -2},
      {-7, 2, -4},
      {3, 2, 2},
      {1, 2, 0},
      {-1, 2, 0},
      {1000, 1.25L, 800},
      {199, 0.85L / 1.3L, 304},
      {5, -2, -2},
      {0, 3, 0},
      {kMax, 1, kMax},
      {kMin, 1, kMin},
      {kMin, -1, std::nullopt},
      {kMax, 0.5L, std::nullopt},
      {1, 1e-30L, std::nullopt},
      {1, std::numeric_limits<long double>::infinity(), 0},
      {1, std::numeric_limits<long double>::quiet_NaN(), std::nullopt},
      {5, 0, std::nullopt, ErrorKind::EZeroDivide},
      {-5, -0.0L, std::nullopt, ErrorKind::EZeroDivide},
      {0, 0, std::nullopt, ErrorKind::EInvalidOp},
  };
  for (const Division& c : cases) {
    SCOPED_TRACE(testing::Message() << c.amount << " / " << static_cast<double>(c.rate));
    if (c.result) {
      EXPECT_EQ(DivideAndRound(c.amount, c.rate), *c.result);
    } else {
      try {
        DivideAndRound(c.amount, c.rate);
        ADD_FAILURE() << "no error";
      } catch (const TollwickError& e) {
        EXPECT_EQ(e.kind(), c.kind);
      }
    }
  }
}

TEST(RateTable, LastEntryDecidesAndUnknownCodesGiveZero) {
  RateTable table;
  EXPECT_EQ(table.ConvertToTotal("USD", 100), 0);
  table.Append("USD", 1.25L);
  table.Append("GBP", 2);
  table.Append("USD", 2);
  EXPECT_EQ(table.ConvertToTotal("USD", 7), 4);
  EXPECT_EQ(table.ConvertToTotal("GBP", 5), 2);
  EXPECT_EQ(table.ConvertToTotal("usd", 100), 0);
  table.SetRate(2, 1.25L);
  EXPECT_EQ(table.ConvertToTotal("USD", 1000), 800);
  table.Clear();
  EXPECT_EQ(table.ConvertToTotal("USD", 1000), 0);
}

TEST(RateTable, AnEarlierZeroRateFailsEvenBeforeAGoodOne) {
  RateTable table;
  table.Append("USD", 0);
  table.Append("USD", 1.3L);
  try {
    table.ConvertToTotal("USD", 100);
    FAIL() << "no error";
  } catch (const TollwickError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::EZeroDivide);
    EXPECT_STREQ(e.what(), "Floating point division by zero");
  }
  try {
    table.ConvertToTotal("USD", 0);
    FAIL() << "no error";
  } catch (const TollwickError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::EInvalidOp);
  }
}

struct Outcome {
  bool failed = false;
  ErrorKind kind = ErrorKind::EConvertError;
  int64_t value = 0;
  bool operator==(const Outcome&) const = default;
};

template <typename F>
Outcome Capture(F f) {
  try {
    return Outcome{false, ErrorKind::EConvertError, f()};
  } catch (const TollwickError& e) {
    return Outcome{true, e.kind(), 0};
  }
}

// The conversion as written down: a walk of the whole table, every matching entry dividing.
int64_t LiteralConvert(const RateTable& table, const std::string& code, int64_t amount) {
  int64_t result = 0;
  for (const RCONVERT& entry : table.records())
    if (entry.Code == code) result = DivideAndRound(amount, entry.Rate);
  return result;
}

TEST(RateTable, ConvertMatchesTheLiteralWalk) {
  std::mt19937_64 rng(77);
  const std::string codes[] = {"USD", "EUR", "GBP", "usd", "US", "\x80X", ""};
  const long double rates[] = {0,     -0.0L,  1,      2,       1.25L,  0.5L,    -1.5L, 1.3L,
                               0.85L, 1e-18L, 1e-30L, -1e-20L, 3e-19L, -2e-19L, 1e30L, 7.77L};
  const int64_t amounts[] = {0,
                             1,
                             -1,
                             5,
                             7,
                             199,
                             -250,
                             2147483647,
                             4611686018427387904,
                             std::numeric_limits<int64_t>::max(),
                             std::numeric_limits<int64_t>::min()};
  for (int round = 0; round < 3000; ++round) {
    RateTable table;
    size_t count = rng() % 8;
    for (size_t k = 0; k < count; ++k)
      table.Append(codes[rng() % std::size(codes)], rates[rng() % std::size(rates)]);
    // Sometimes rewrite some rates, as rebasing does.
    if (count > 0 && rng() % 3 == 0)
      for (size_t k = 0; k < 2; ++k) table.SetRate(rng() % count, rates[rng() % std::size(rates)]);
    for (const std::string& code : codes) {
      for (int64_t amount : amounts) {
        int64_t random_amount = static_cast<int64_t>(rng() >> (rng() % 64));
        for (int64_t a : {amount, random_amount, -random_amount}) {
          Outcome fast = Capture([&] { return table.ConvertToTotal(code, a); });
          Outcome slow = Capture([&] { return LiteralConvert(table, code, a); });
          ASSERT_EQ(fast, slow) << "round " << round << " code " << code << " amount " << a;
        }
      }
    }
  }
}

TEST(TallyTable, LinesAreAppendedInCallOrder) {
  TallyTable tally;
  tally.AddTallyLine("Game", 3, false);
  tally.AddTallyLine("Game", 5, true);
  ASSERT_EQ(tally.size(), 2u);
  EXPECT_EQ(tally[0].Count, 3);
  EXPECT_FALSE(tally[0].IsTotal);
  EXPECT_EQ(tally[1].Name, "Game");
  EXPECT_TRUE(tally[1].IsTotal);
  tally.ClearTally();
  EXPECT_TRUE(tally.empty());
}

}  // namespace
}  // namespace tollwick
