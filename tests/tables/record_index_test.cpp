// The keyed hash against reference values, and the hashed find-or-append of the sale table
// against the literal linear search, on random keys over several growths of the index.
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
  if (rng() % 64 != 0) key += std::to_string(rng() % 3000);  // else now and then the empty key
  return key;
}

// SipHash-1-3 under the key 00 01 .. 0f of the messages 00 01 .. n-1 (n = 0 to 16, and 63), and
// of "abc" under the key 0: reference values, worked out by two other implementations.
TEST(RecordIndex, KeyedHashIsSipHash13) {
  const uint64_t expected[] = {0xabac0158050fc4dc, 0xc9f49bf37d57ca93, 0x82cb9b024dc7d44d,
                               0x8bf80ab8e7ddf7fb, 0xcf75576088d38328, 0xdef9d52f49533b67,
                               0xc50d2b50c59f22a7, 0xd3927d989bb11140, 0x369095118d299a8e,
                               0x25a48eb36c063de4, 0x79de85ee92ff097f, 0x70c118c1f94dc352,
                               0x78a384b157b4d9a2, 0x306f760c1229ffa7, 0x605aa111c0f95d34,
                               0xd320d86d2a519956, 0xcc4fdd1a7d908b66, 0x9d199062b7bbb3a8};
  const HashKey key{0x0706050403020100, 0x0f0e0d0c0b0a0908};
  std::string message;
  for (char byte = 0; byte < 63; ++byte) message += byte;
  for (size_t i = 0; i < std::size(expected); ++i) {
    const size_t length = i < 17 ? i : 63;
    EXPECT_EQ(KeyedHash(key, std::string_view(message).substr(0, length)), expected[i]) << length;
  }
  EXPECT_EQ(KeyedHash(key, std::string_view()), expected[0]);  // no bytes at all: no pointer
  EXPECT_EQ(KeyedHash(HashKey{}, "abc"), 0xc03bc3a0042630f2);
}

// The index, and the sale table on it, against the literal linear search: a key seen again
// keeps its first position, a purchase seen again is overwritten in place.
TEST(RecordIndex, FindOrAppendMatchesLinearSearch) {
  std::mt19937 rng(2024);
  RecordIndex index;
  SaleTable sales;
  std::vector<std::string> keys, skus;
  std::vector<double> days;
  auto key_of = [&keys](size_t i) -> std::string_view { return keys[i]; };
  for (int step = 0; step < 20000; ++step) {
    const std::string key = RandomKey(rng), sku = RandomKey(rng);
    const size_t at = LiteralFind(keys, key);
    ASSERT_EQ(index.Find(key, key_of), at) << key;
    sales.AddSale(sku, key, step);
    if (at == RecordIndex::npos) {
      keys.push_back(key);
      skus.push_back(sku);
      days.push_back(step);
      index.Insert(key, keys.size() - 1);
    } else {
      skus[at] = sku;
      days[at] = step;
    }
  }
  ASSERT_EQ(sales.size(), keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    ASSERT_EQ(index.Find(keys[i], key_of), i);
    ASSERT_TRUE(sales[i].PurchaseId == keys[i] && sales[i].SkuId == skus[i] &&
                sales[i].SaleDate == days[i])
        << i;
  }
  index.Clear();
  EXPECT_EQ(index.Find(keys[0], key_of), RecordIndex::npos);
}

// Ids picked so that under one known hash key they all have their home in the first 16 of 65536
// slots (under that key every insert would walk the whole pile): under an index's own random
// key their homes spread like any other ids', and they are found at their positions.
TEST(RecordIndex, IdsCraftedAgainstOneHashKeyDoNotPileUpUnderTheRunsKey) {
  const RecordIndex known(HashKey{0x1234, 0x5678});
  std::vector<std::string> keys;
  for (uint64_t i = 0; keys.size() < 1000; ++i) {
    std::string key = "P" + std::to_string(i);
    if ((known.Hash(key) & 0xFFFF) < 16) keys.push_back(key);
  }
  auto key_of = [&keys](size_t i) -> std::string_view { return keys[i]; };
  RecordIndex seeded;
  size_t piled = 0;  // 1000 * 16 / 65536 expected
  for (size_t i = 0; i < keys.size(); ++i) {
    seeded.Insert(keys[i], i);
    piled += (seeded.Hash(keys[i]) & 0xFFFF) < 16;
  }
  EXPECT_LT(piled, 10u);
  for (size_t i = 0; i < keys.size(); ++i) ASSERT_EQ(seeded.Find(keys[i], key_of), i);
  EXPECT_NE(RandomHashKey().k0, RandomHashKey().k0);
}

}  // namespace
}  // namespace tollwick
