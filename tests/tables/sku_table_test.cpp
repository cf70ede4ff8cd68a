#include "tables/sku_table.h"

#include <gtest/gtest.h>

#include <random>

#include "tables/errors.h"

namespace tollwick {
namespace {

TEST(AddSku, OverwritesInPlaceAndKeepsThePrice) {
  SkuTable skus;
  skus.AddSku("A", "Alpha", "1.0", "d", "Professional", "US");
  skus.AddSku("B", "Beta", "1.0", "d", "Standard", "DE");
  skus[0].Currency = "USD";
  skus[0].Amount = 299;
  skus.AddSku("A", "Alpha 2", "2.0", "x", "", "GB");
  ASSERT_EQ(skus.size(), 2u);
  EXPECT_EQ(skus[0].SkuId, "A");
  EXPECT_EQ(skus[0].Title, "Alpha 2");
  EXPECT_EQ(skus[0].Version, "2.0");
  EXPECT_EQ(skus[0].Detail, "x");
  EXPECT_EQ(skus[0].Market, "GB");
  EXPECT_EQ(skus[0].OsType, "SP");
  EXPECT_EQ(skus[0].Currency, "USD");
  EXPECT_EQ(skus[0].Amount, 299);
  EXPECT_EQ(skus.Find("B"), 1u);
  EXPECT_EQ(skus.Find("b"), SkuTable::npos);
  EXPECT_EQ(skus.Find("A "), SkuTable::npos);
}

TEST(AddSku, OsTypeOnlyForTheExactWord) {
  const struct {
    const char* cell;
    const char* os;
  } cases[] = {{"Professional", "PPC"},
               {"professional", "SP"},
               {"Professional ", "SP"},
               {" Professional", "SP"},
               {"", "SP"},
               {"Standard", "SP"}};
  for (const auto& c : cases) {
    SkuTable skus;
    skus.AddSku("A", "T", "1", "", c.cell, "US");
    EXPECT_EQ(skus[0].OsType, c.os) << c.cell;
  }
}

TEST(ParseSaleDate, BothForms) {
  const struct {
    const char* text;
    double day;
  } cases[] = {
      {"2010-03-05T12:00:00Z", 40242},   {"3/5/2010 12:00:00 AM", 40242},
      {"2010-3-5T08:00:00", 40242},      {"2012-02-29T00:00:00", 40968},
      {"12/31/2009 11:59:59 PM", 40178}, {" 2010- 03- 05T", 40242},
      {"+2010-+3-+5T", 40242},           {"1/1/2010 x/y", 40179},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSaleDate(c.text), c.day) << c.text;
}

TEST(ParseSaleDate, Failures) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"2010-03-05", "'' is not a valid integer value"},  // no "T": empty pieces
      {"3/5/2010", "'' is not a valid integer value"},    // no blank: empty pieces
      {"2010-03-05 08:00:00", "'' is not a valid integer value"},
      {"", "'' is not a valid integer value"},
      {"2010-03-xxT", "'xx' is not a valid integer value"},  // day first
      {"2010-yy-xxT", "'xx' is not a valid integer value"},
      {"zz-yy-01T", "'yy' is not a valid integer value"},  // then month, then year
      {"zz-01-01T", "'zz' is not a valid integer value"},
      {"3/5/2010x 1", "'2010x' is not a valid integer value"},
      {"2010-02-30T00:00:00", "Invalid argument to date encode"},
      {"2100-02-29T00:00:00", "Invalid argument to date encode"},
      {"2010-01-65537T", "Invalid argument to date encode"},  // no 16-bit wrap-around
      {"2010-65537-1T", "Invalid argument to date encode"},
  };
  for (const auto& c : cases) {
    try {
      ParseSaleDate(c.text);
      ADD_FAILURE() << c.text;
    } catch (const TollwickError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::EConvertError);
      EXPECT_STREQ(e.what(), c.message) << c.text;
    }
  }
}

TEST(AddSale, SecondRowOfAPurchaseOverwritesIt) {
  SaleTable sales;
  sales.AddSale("A", "P1", "3", "4", "5", "2010-03-05T12:00:00Z", "7");
  sales.AddSale("B", "P2", "", "", "", "1/1/2010 1:00:00 AM", "");
  sales.AddSale("C", "P1", "x", "y", "z", "3/6/2010 12:00:00 AM", "w");
  ASSERT_EQ(sales.size(), 2u);
  EXPECT_EQ(sales[0].SkuId, "C");
  EXPECT_EQ(sales[0].ThirdCell, "x");
  EXPECT_EQ(sales[0].SeventhCell, "w");
  EXPECT_EQ(sales[0].DateText, "3/6/2010 12:00:00 AM");
  EXPECT_EQ(sales[0].SaleDate, 40243);
  EXPECT_EQ(sales[1].PurchaseId, "P2");
}

// The ordering as a bubble sort: n - 1 full passes from the end, exchanging on "strictly less".
void LiteralSortSkus(std::vector<RSKU>& table) {
  size_t n = table.size();
  if (n < 2) return;
  for (size_t pass = 0; pass + 1 < n; ++pass)
    for (size_t j = n - 1; j >= 1; --j)
      if (SkuSortKey(table[j]) < SkuSortKey(table[j - 1])) std::swap(table[j], table[j - 1]);
}

TEST(SortSkus, MatchesTheBubbleSortOnRandomTables) {
  std::mt19937 rng(1234);
  const std::string alphabet[] = {"", "A", "a", "Z", "AB", "\x80", "\xFF", " ", "Chess", "Master"};
  auto pick = [&](int max_parts) {
    std::string s;
    int parts = static_cast<int>(rng() % static_cast<unsigned>(max_parts + 1));
    for (int i = 0; i < parts; ++i) s += alphabet[rng() % std::size(alphabet)];
    return s;
  };
  for (int round = 0; round < 300; ++round) {
    SkuTable skus;
    int n = static_cast<int>(rng() % 40);
    for (int i = 0; i < n; ++i)
      skus.AddSku("id" + std::to_string(rng() % 60), pick(2), pick(1), "",
                  rng() % 2 ? "Professional" : "", pick(1));
    std::vector<RSKU> expected = skus.records();
    LiteralSortSkus(expected);
    skus.SortSkus();
    ASSERT_EQ(skus.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(skus[i].SkuId, expected[i].SkuId) << "round " << round << " index " << i;
      ASSERT_EQ(skus.Find(expected[i].SkuId), i);
    }
  }
}

TEST(SortSkus, JoinedKeySplitsTitles) {
  SkuTable skus;
  skus.AddSku("1", "A", "1", "", "", "A");
  skus.AddSku("2", "A", "1", "", "", "C");
  skus.AddSku("3", "AB", "1", "", "", "");
  skus.AddSku("4", "Z", "1", "", "", "");
  skus.AddSku("5", "a", "1", "", "", "");
  skus.SortSkus();
  std::string order;
  for (const RSKU& s : skus) order += s.SkuId;
  EXPECT_EQ(order, "13245");
}

}  // namespace
}  // namespace tollwick
