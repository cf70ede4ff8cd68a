// The find-or-append tables, the two sorts and the rate walk, each
// checked against its written-down form where one exists.
#include <gtest/gtest.h>

#include <climits>
#include <limits>

#include "support/checks.h"
#include "tables/currency_table.h"
#include "tables/rate_table.h"
#include "tables/sale_table.h"
#include "tables/sku_table.h"

namespace tollwick {
namespace {

using testing::ErrorOf;

TEST(Tables, SecondRowOfAKeyOverwritesInPlace) {
  SkuTable skus;
  skus.AddSku("A", "Alpha", "1.0", "PPC", "US");
  skus.AddSku("B", "Beta", "1.0", "SP", "DE");
  skus.SetPrice(0, "USD", 299);
  skus.AddSku("A", "Alpha 2", "2.0", "SP", "GB");
  ASSERT_EQ(skus.size(), 2u);
  EXPECT_EQ(skus[0].SkuId + skus[0].Title + skus[0].Version + skus[0].Market + skus[0].OsType +
                skus[0].Currency,
            "AAlpha 22.0GBSPUSD");
  EXPECT_EQ(skus[0].Amount, 299);  // the price stays
  EXPECT_EQ(skus.Find("a"), SkuTable::npos);
  skus.ClearPrices();
  EXPECT_EQ(skus[0].Currency + std::to_string(skus[0].Amount), "0");
}

TEST(Sorts, MatchTheBubbleSortOnRandomTables) {
  std::mt19937 rng(1234);
  const std::vector<std::string> parts = {
      "", "A", "a", "Z", "AB", "\x80", "\xFF", " ", "Chess", "Master", std::string(1, '\0')};
  for (int round = 0; round < 400; ++round) {
    SkuTable skus;
    for (int i = rng() % 40; i > 0; --i)
      skus.AddSku("id" + std::to_string(rng() % 60), testing::RandomJoin(rng, parts, 2),
                  testing::RandomJoin(rng, parts, 1), rng() % 2 ? "PPC" : "SP",
                  testing::RandomJoin(rng, parts, 1));
    std::vector<RSKU> expected(skus.begin(), skus.end());
    testing::BubbleSort(expected, [](const RSKU& a, const RSKU& b) {
      // The key joined without separator; std::string compares bytes as unsigned.
      return a.Title + a.Market + a.Version + a.OsType < b.Title + b.Market + b.Version + b.OsType;
    });
    skus.SortSkus();
    for (size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(skus[i].SkuId, expected[i].SkuId) << "round " << round << " index " << i;
      ASSERT_EQ(skus.Find(expected[i].SkuId), i);
    }

    CurrencyTable currencies;
    for (int i = rng() % 12; i > 0; --i)
      currencies.RegisterCurrency(testing::RandomJoin(rng, parts, 3));
    std::vector<CurrencyRecord> codes(currencies.begin(), currencies.end());
    testing::BubbleSort(
        codes, [](const CurrencyRecord& a, const CurrencyRecord& b) { return a.Code < b.Code; });
    currencies.SortCurrencies();
    for (size_t k = 0; k < codes.size(); ++k) {
      ASSERT_EQ(currencies[k].Code, codes[k].Code);
      ASSERT_EQ(currencies.Find(codes[k].Code), k);
    }
  }
}

TEST(Money, RoundingAndFaults) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  const std::string kInvalid = "EInvalidOp: Invalid floating point operation";
  const std::string kZero = "EZeroDivide: Floating point division by zero";
  // clang-format off
  const struct {
    int64_t amount;
    long double rate;
    int64_t result;
    std::string error;
  } cases[] = {
      {5, 2, 2, ""}, {7, 2, 4, ""}, {-5, 2, -2, ""}, {-7, 2, -4, ""}, {1, 2, 0, ""},
      {199, 0.85L / 1.3L, 304, ""}, {kMax, 1, kMax, ""}, {1, 1.0L / 0.0L, 0, ""},
      {LLONG_MIN, -1, 0, kInvalid}, {kMax, 0.5L, 0, kInvalid}, {1, 1e-30L, 0, kInvalid},
      {5, 0, 0, kZero}, {-5, -0.0L, 0, kZero}, {0, 0, 0, kInvalid},
  };
  // clang-format on
  for (const auto& c : cases) {
    int64_t result = 0;
    EXPECT_EQ(ErrorOf([&] { result = DivideAndRound(c.amount, c.rate); }), c.error) << c.amount;
    EXPECT_EQ(result, c.result) << c.amount;
  }
}

// The conversion as written down: every entry of the code divides, the last one decides; money
// in a currency without any entry cannot be converted.
int64_t LiteralConvert(const RateTable& table, const std::string& code, int64_t amount) {
  int64_t result = 0;
  bool found = false;
  for (const ExchangeRate& entry : table)
    if (entry.Code == code) {
      result = DivideAndRound(amount, entry.Rate);
      found = true;
    }
  if (!found && amount != 0)
    Raise(ErrorKind::EConvertError, "No exchange rate for currency \"" + code + "\"");
  return result;
}

TEST(Money, ConvertMatchesTheLiteralWalk) {
  std::mt19937 rng(77);
  const std::vector<std::string> codes = {"USD", "EUR", "usd", "US", "\x80X", ""};
  const long double rates[] = {0,     -0.0L,  1,      2,       1.25L,  0.5L,  -1.5L,
                               0.85L, 1e-18L, 1e-30L, -1e-20L, 3e-19L, 1e30L, 7.77L};
  const int64_t amounts[] = {0,         1,        -1, 5, 7, 199, INT32_MAX, 4611686018427387904,
                             LLONG_MAX, LLONG_MIN};
  for (int round = 0; round < 2000; ++round) {
    RateTable table;
    size_t count = rng() % 8;
    for (size_t k = 0; k < count; ++k)
      table.Append(codes[rng() % codes.size()], rates[rng() % std::size(rates)]);
    if (count > 0 && rng() % 3 == 0) table.SetRate(rng() % count, rates[rng() % std::size(rates)]);
    for (const std::string& code : codes)
      for (int64_t amount : amounts) {
        int64_t a = rng() % 2 ? amount : int64_t(rng()) - int64_t(rng());
        int64_t fast = -1, slow = -1;
        std::string fast_error = ErrorOf([&] { fast = table.ConvertToTotal(code, a); });
        ASSERT_EQ(fast_error, ErrorOf([&] { slow = LiteralConvert(table, code, a); }));
        ASSERT_EQ(fast, slow) << "round " << round << " code " << code << " amount " << a;
        // The form that does not raise is empty exactly where this one raises.
        ASSERT_EQ(table.TryConvertToTotal(code, a),
                  fast_error.empty() ? std::optional<int64_t>(fast) : std::nullopt);
      }
  }
}

}  // namespace
}  // namespace tollwick
