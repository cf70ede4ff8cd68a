// The find-or-append tables, sorts, rate walk, keyed hash, index and block array, each against
// its written-down form where one exists.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <random>

#include "support/checks.h"
#include "tables/block_array.h"
#include "tables/currency_table.h"
#include "tables/rate_table.h"
#include "tables/record_index.h"
#include "tables/sale_table.h"
#include "tables/sku_table.h"

namespace tollwick {
namespace {

using testing::ErrorOf;

TEST(Tables, SecondRowOfAKeyOverwritesInPlace) {
  SkuTable skus;
  skus.AddSku("A", "Alpha", "1.0", "PPC", "US");
  skus.AddSku("B", "Beta", "1.0", "SP", "DE");
  skus.AddSku("A", "Alpha 2", "2.0", "SP", "GB");
  ASSERT_EQ(skus.size(), 2u);
  EXPECT_EQ(skus[0].SkuId + skus[0].Title + skus[0].Version + skus[0].Market + skus[0].OsType,
            "AAlpha 22.0GBSP");
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
  const std::string kInvalid = "EInvalidOp: Invalid floating point operation";
  const std::string kZero = "EZeroDivide: Floating point division by zero";
  // clang-format off
  const std::tuple<int64_t, long double, int64_t, std::string> cases[] = {
      {5, 2, 2, ""}, {7, 2, 4, ""}, {-5, 2, -2, ""}, {-7, 2, -4, ""}, {1, 2, 0, ""},
      {199, 0.85L / 1.3L, 304, ""}, {INT64_MAX, 1, INT64_MAX, ""}, {1, 1.0L / 0.0L, 0, ""},
      {LLONG_MIN, -1, 0, kInvalid}, {INT64_MAX, 0.5L, 0, kInvalid}, {1, 1e-30L, 0, kInvalid},
      {5, 0, 0, kZero}, {-5, -0.0L, 0, kZero}, {0, 0, 0, kInvalid},
  };
  // clang-format on
  for (const auto& [amount, rate, expected, error] : cases) {
    int64_t result = 0;
    EXPECT_EQ(ErrorOf([&, a = amount, r = rate] { result = DivideAndRound(a, r); }), error)
        << amount;
    EXPECT_EQ(result, expected) << amount;
  }
}

// The conversion as written down: every entry of the code divides, the last one decides; money
// in a currency without any entry cannot be converted.
int64_t LiteralConvert(const RateTable& table, const std::string& code, int64_t amount) {
  std::optional<int64_t> result;
  for (const ExchangeRate& entry : table)
    if (entry.Code == code) result = DivideAndRound(amount, entry.Rate);
  if (!result && amount != 0)
    Raise(ErrorKind::EConvertError, "No exchange rate for currency \"" + code + "\"");
  return result.value_or(0);
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
        const std::string fast_error = ErrorOf([&] { fast = table.ConvertToTotal(code, a); });
        ASSERT_EQ(fast_error, ErrorOf([&] { slow = LiteralConvert(table, code, a); }));
        ASSERT_EQ(fast, slow) << "round " << round << " code " << code << " amount " << a;
        // The form that does not raise is empty exactly where this one raises.
        ASSERT_EQ(table.TryConvertToTotal(code, a),
                  fast_error.empty() ? std::optional<int64_t>(fast) : std::nullopt);
      }
  }
}

// SipHash-1-3 reference values: key 00..0f, messages 00..n-1 of every tail length and more than
// one block; "abc" under the zero key.
TEST(RecordIndex, KeyedHashIsSipHash13) {
  const std::pair<size_t, uint64_t> expected[] = {
      {0, 0xabac0158050fc4dc},  {1, 0xc9f49bf37d57ca93}, {2, 0x82cb9b024dc7d44d},
      {3, 0x8bf80ab8e7ddf7fb},  {4, 0xcf75576088d38328}, {5, 0xdef9d52f49533b67},
      {6, 0xc50d2b50c59f22a7},  {7, 0xd3927d989bb11140}, {8, 0x369095118d299a8e},
      {15, 0xd320d86d2a519956}, {63, 0x9d199062b7bbb3a8}};
  const HashKey key{0x0706050403020100, 0x0f0e0d0c0b0a0908};
  std::string message;
  for (char byte = 0; byte < 63; ++byte) message += byte;
  for (auto [length, hash] : expected)
    EXPECT_EQ(KeyedHash(key, std::string_view(message).substr(0, length)), hash) << length;
  EXPECT_EQ(KeyedHash(key, std::string_view()), expected[0].second);  // no bytes: no pointer
  EXPECT_EQ(KeyedHash(HashKey{}, "abc"), 0xc03bc3a0042630f2);
}

// The index, and the sale table on it, against the literal linear search: a key seen again
// keeps its first position, a purchase seen again is overwritten in place.
TEST(RecordIndex, FindOrAppendMatchesLinearSearch) {
  std::mt19937 rng(2024);
  const std::vector<std::string> parts = {"", "a", "A", "0", " ", "\xFF", "P-", "abcdefghijklmnop"};
  auto random_key = [&] {
    std::string key = testing::RandomJoin(rng, parts, 3);
    return rng() % 64 != 0 ? key + std::to_string(rng() % 3000) : key;  // now and then empty
  };
  RecordIndex index;
  SaleTable sales;
  std::vector<std::string> keys;
  std::vector<std::pair<std::string, int>> sku_and_day;  // of each key
  auto key_of = [&keys](size_t i) -> std::string_view { return keys[i]; };
  for (int step = 0; step < 20000; ++step) {
    const std::string key = random_key(), sku = random_key();
    const auto first = std::find(keys.begin(), keys.end(), key);  // the literal linear search
    const size_t at = first == keys.end() ? RecordIndex::npos : size_t(first - keys.begin());
    ASSERT_EQ(index.Find(key, key_of), at) << key;
    sales.AddSale(sku, key, step);
    if (at == RecordIndex::npos) {
      keys.push_back(key);
      sku_and_day.emplace_back(sku, step);
      index.Insert(key, keys.size() - 1);
    } else {
      sku_and_day[at] = {sku, step};
    }
  }
  ASSERT_EQ(sales.size(), keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    ASSERT_EQ(index.Find(keys[i], key_of), i);
    ASSERT_TRUE(sales[i].PurchaseId == keys[i] && sales[i].SkuId == sku_and_day[i].first &&
                sales[i].SaleDate == sku_and_day[i].second)
        << i;
  }
}

// Ids crafted to pile up in 16 of 65536 slots under one known key spread under an index's own
// random key.
TEST(RecordIndex, IdsCraftedAgainstOneHashKeyDoNotPileUpUnderTheRunsKey) {
  const RecordIndex known(HashKey{0x1234, 0x5678});
  std::vector<std::string> keys;
  for (uint64_t i = 0; keys.size() < 1000; ++i) {
    std::string key = "P" + std::to_string(i);
    if ((known.Hash(key) & 0xFFFF) < 16) keys.push_back(key);
  }
  const RecordIndex seeded;
  size_t piled = 0;  // 1000 * 16 / 65536 expected
  for (const std::string& key : keys) piled += (seeded.Hash(key) & 0xFFFF) < 16;
  EXPECT_LT(piled, 10u);
  EXPECT_NE(RandomHashKey().k0, RandomHashKey().k0);
}

// Blocks of 3 records (not a power of two), and blocks of about 2 MB of large memory.
template <size_t kBlock>
void KeepsRecordsInPlace(int count) {
  BlockArray<long, kBlock> array;
  std::vector<const long*> addresses;
  for (int i = 0; i < count; ++i) {
    array.emplace_back() = 1000 + i;
    addresses.push_back(&array.back());
  }
  ASSERT_EQ(array.size(), size_t(count));
  size_t i = 0;
  for (const long& record : array)  // in order, where appending left them
    ASSERT_TRUE(record == 1000 + long(i) && &record == addresses[i++]) << i;
  EXPECT_EQ(i, size_t(count));

  BlockArray<long, kBlock> copy(array);
  array[5] = 7;
  EXPECT_EQ(copy[5], 1005);
  EXPECT_EQ(copy.emplace_back(), 0);  // a new record is value-initialised
  EXPECT_EQ(copy.size(), size_t(count) + 1);
  array.clear();
  EXPECT_TRUE(array.empty());
  EXPECT_EQ(array.begin(), array.end());
}

TEST(BlockArray, KeepsRecordsInPlaceAcrossBlocks) {
  KeepsRecordsInPlace<3>(11);
  KeepsRecordsInPlace<(size_t{2} << 20) / sizeof(long)>(600000);
}

}  // namespace
}  // namespace tollwick
