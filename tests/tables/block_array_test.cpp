// Records across block boundaries: positions, iteration, copies and moves.
#include "tables/block_array.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tollwick {
namespace {

TEST(BlockArray, KeepsRecordsInPlaceAcrossBlocks) {
  BlockArray<std::string, 4> array;
  std::vector<const std::string*> addresses;
  for (int i = 0; i < 11; ++i) {
    array.emplace_back() = "record " + std::to_string(i);
    addresses.push_back(&array.back());
  }
  ASSERT_EQ(array.size(), 11u);
  int i = 0;
  for (const std::string& record : array) {
    EXPECT_EQ(record, "record " + std::to_string(i));
    EXPECT_EQ(&record, addresses[static_cast<size_t>(i)]);  // appending moved nothing
    ++i;
  }
  EXPECT_EQ(i, 11);

  BlockArray<std::string, 4> copy(array);
  array[5] = "changed";
  EXPECT_EQ(copy.size(), 11u);
  EXPECT_EQ(copy[5], "record 5");
  EXPECT_TRUE(copy.emplace_back().empty());  // a fresh record, also within a reused block

  BlockArray<std::string, 4> moved(std::move(copy));
  EXPECT_EQ(moved.size(), 12u);
  EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved-from array is empty
  copy = moved;
  EXPECT_EQ(copy[11], "");
  moved.clear();
  EXPECT_TRUE(moved.empty());
  EXPECT_EQ(moved.begin(), moved.end());
}

}  // namespace
}  // namespace tollwick
