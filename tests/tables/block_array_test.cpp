// Records across block boundaries: positions, iteration, copies and moves.
#include "tables/block_array.h"

#include <gtest/gtest.h>

#include <vector>

namespace tollwick {
namespace {

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
  int i = 0;
  for (const long& record : array) {
    ASSERT_EQ(record, 1000 + i);
    ASSERT_EQ(&record, addresses[static_cast<size_t>(i)]);  // appending moved nothing
    ++i;
  }
  EXPECT_EQ(i, count);

  BlockArray<long, kBlock> copy(array);
  array[5] = 7;
  EXPECT_EQ(copy.size(), size_t(count));
  EXPECT_EQ(copy[5], 1005);
  EXPECT_EQ(copy.emplace_back(), 0);  // a fresh record, also within a reused block

  BlockArray<long, kBlock> moved(std::move(copy));
  EXPECT_EQ(moved.size(), size_t(count) + 1);
  EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved-from array is empty
  copy = moved;
  EXPECT_EQ(copy[size_t(count)], 0);
  moved.clear();
  EXPECT_TRUE(moved.empty());
  EXPECT_EQ(moved.begin(), moved.end());
}

TEST(BlockArray, KeepsRecordsInPlaceAcrossBlocks) {
  KeepsRecordsInPlace<3>(11);
  KeepsRecordsInPlace<(size_t{2} << 20) / sizeof(long)>(600000);
}

}  // namespace
}  // namespace tollwick
