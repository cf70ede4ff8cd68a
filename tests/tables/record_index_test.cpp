// The hashed find-or-append of the SKU and sale tables against the literal linear search, on
// random keys over several growths of the index.
#include "tables/record_index.h"
#include "tables/sale_table.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tables/sku_table.h"

namespace tollwick {
namespace {

// The first position whose key equals `key`, by a walk from the start, or npos.
size_t LiteralFind(const std::vector<std::string>& keys, const std::string& key) {
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == key) return i;
  return RecordIndex::npos;
}

std::string RandomKey(std::mt19937& rng) {
  static const std::string parts[] = {"", "a", "A", "0", " ", "\xFF", "P-", "abcdefghijklmnop"};
  std::string key;
  for (size_t n = rng() % 4; n > 0; --n) key += parts[rng() % std::size(parts)];
  key += std::to_string(rng() % 3000);
  return key;
}

TEST(RecordIndex, FindOrAppendMatchesLinearSearch) {
  std::mt19937 rng(2024);
  RecordIndex index;
  std::vector<std::string> keys;
  auto key_of = [&keys](size_t i) -> std::string_view { return keys[i]; };
  for (int step = 0; step < 20000; ++step) {
    std::string key = RandomKey(rng);
    size_t expected = LiteralFind(keys, key);
    ASSERT_EQ(index.Find(key, key_of), expected) << key;
    if (expected == RecordIndex::npos) {
      keys.push_back(key);
      index.Insert(key, keys.size() - 1);
    }
  }
  for (size_t i = 0; i < keys.size(); ++i) ASSERT_EQ(index.Find(keys[i], key_of), i);
  index.Clear();
  EXPECT_EQ(index.Find(keys[0], key_of), RecordIndex::npos);
}

TEST(RecordIndex, SaleTableKeepsFirstPositions) {
  std::mt19937 rng(7);
  SaleTable sales;
  std::vector<std::string> ids, skus;
  std::vector<double> days;
  for (int step = 0; step < 5000; ++step) {
    std::string id = RandomKey(rng), sku = RandomKey(rng);
    sales.AddSale(sku, id, step);
    size_t at = LiteralFind(ids, id);
    if (at == RecordIndex::npos) {
      ids.push_back(id);
      skus.push_back(sku);
      days.push_back(step);
    } else {
      skus[at] = sku;  // a purchase seen again overwrites its record in place
      days[at] = step;
    }
  }
  ASSERT_EQ(sales.size(), ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    ASSERT_EQ(sales[i].PurchaseId, ids[i]);
    ASSERT_EQ(sales[i].SkuId, skus[i]);
    ASSERT_EQ(sales[i].SaleDate, days[i]);
  }
}

// Ids picked so that under one known hash key they all have their home in the first 16 of 65536
// slots: under that key every insert walks the whole pile (quadratic), under an index's own
// random key they spread like any other ids and are found at the same positions.
TEST(RecordIndex, IdsCraftedAgainstOneHashKeyDoNotPileUpUnderTheRunsKey) {
  const RecordIndex known(HashKey{0x1234, 0x5678});
  std::vector<std::string> keys;
  for (uint64_t i = 0; keys.size() < 1000; ++i) {
    std::string key = "P" + std::to_string(i);
    if ((known.Hash(key) & 0xFFFF) < 16) keys.push_back(key);
  }
  auto key_of = [&keys](size_t i) -> std::string_view { return keys[i]; };
  RecordIndex fixed(HashKey{0x1234, 0x5678}), seeded;
  for (size_t i = 0; i < keys.size(); ++i) {
    fixed.Insert(keys[i], i);
    seeded.Insert(keys[i], i);
  }
  const size_t n = keys.size();
  EXPECT_GT(fixed.ProbeDistanceSum(), n * n / 4);
  EXPECT_LT(seeded.ProbeDistanceSum(), 4 * n);
  for (size_t i = 0; i < n; ++i) ASSERT_EQ(seeded.Find(keys[i], key_of), i);
  EXPECT_NE(RandomHashKey().k0, RandomHashKey().k0);
}

}  // namespace
}  // namespace tollwick
