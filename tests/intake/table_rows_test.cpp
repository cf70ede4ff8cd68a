// Report rows into records: the edition rule and the two forms of a purchase's date text.
#include "intake/table_rows.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/checks.h"

namespace tollwick::testing {
namespace {

const std::string kBadDate = "EConvertError: Invalid argument to date encode";

TEST(TableRows, SaleDates) {
  // The day piece is read first, then the month, then the year; no 16-bit wrap-around.
  // clang-format off
  const std::pair<const char*, std::string> cases[] = {
      {"2010-03-05T12:00:00Z", ""}, {"3/5/2010 12:00:00 AM", ""}, {"2010-3-5T08:00:00", ""},
      {" 2010- 03- 05T", ""}, {"+2010-+3-+5T", ""}, {"3/5/2010 x/y", ""},
      {"2010-03-05", NotInteger("")}, {"3/5/2010", NotInteger("")},
      {"2010-03-05 08:00", NotInteger("")}, {"3/5/2010x 1", NotInteger("2010x")},
      {"2010-yy-xxT", NotInteger("xx")}, {"zz-yy-01T", NotInteger("yy")},
      {"zz-01-01T", NotInteger("zz")}, {"2010-02-29T", kBadDate}, {"2100-02-29T", kBadDate},
      {"2010-04-31T", kBadDate}, {"0-01-01T", kBadDate}, {"10000-01-01T", kBadDate},
      {"2010-01-65537T", kBadDate}, {"2010-65537-1T", kBadDate},
      {"2010-03-05T1/2", NotInteger("")}, {"0000-01-01T", kBadDate},
  };
  // clang-format on
  for (const auto& [text, error] : cases) {
    double day = 0;
    EXPECT_EQ(ErrorOf([&, &text = text] { day = ParseSaleDate(text); }), error) << text;
    EXPECT_EQ(day, error.empty() ? 40242 : 0) << text;
  }
  EXPECT_EQ(ParseSaleDate("2012-02-29T"), 40968);
  EXPECT_EQ(ParseSaleDate("12/31/2009 11:59:59 PM"), 40178);
  // The reports' own "dddd-dd-ddT" shape is read directly; a '+' before each piece takes the
  // piece by piece way to the same day, or the same error.
  for (const char* year : {"0001", "1999", "2000", "2012", "2100", "9999"})
    for (int month = 0; month <= 13; ++month)
      for (int day = 0; day <= 32; ++day) {
        char plain[32], signed_pieces[32];
        std::snprintf(plain, sizeof plain, "%s-%02d-%02dT23:59:59Z", year, month, day);
        std::snprintf(signed_pieces, sizeof signed_pieces, "+%s-+%02d-+%02dT", year, month, day);
        double direct = -1, by_pieces = -1;
        EXPECT_EQ(ErrorOf([&] { direct = ParseSaleDate(plain); }),
                  ErrorOf([&] { by_pieces = ParseSaleDate(signed_pieces); }))
            << plain;
        EXPECT_EQ(direct, by_pieces) << plain;
      }
}

TEST(TableRows, EditionRuleAndWhatIsKept) {
  SkuTable skus;
  SaleTable sales;
  TableRows rows(skus, sales);
  using Sku = std::array<std::string_view, kSkuValues>;
  for (const Sku& v : {Sku{"A", "Alpha", "1.0", "d", "Professional", "US"},
                       Sku{"B", "Beta", "2.0", "d", "Professional ", "DE"},
                       Sku{"C", "Gamma", "3.0", "d", "professional", "GB"},
                       Sku{"D", "Delta", "4.0", "d", "", "FR"}})
    rows.SkuRow(v);
  std::string kept;
  for (const RSKU& sku : skus)
    kept += sku.SkuId + sku.Title + sku.Version + sku.OsType + sku.Market;
  EXPECT_EQ(kept, "AAlpha1.0PPCUSBBeta2.0SPDECGamma3.0SPGBDDelta4.0SPFR");
}

TEST(TableRows, PurchaseRowsInBatchesAsOneByOne) {
  // Ids repeat (the last row wins), SKU ids are many (the memo of recent ones misses and is
  // overwritten), dates come in both forms, and a date that is no date or not a number stops both
  // ways after the same rows.
  std::mt19937 rng(4711);
  for (int round = 0; round < 20; ++round) {
    const size_t count = 1 + rng() % 400;
    std::vector<std::string> texts;
    for (size_t i = 0; i < count; ++i) {
      const std::string day = std::to_string(1 + rng() % 9);
      std::string date = rng() % 2 ? "2010-03-0" + day + "T" : "3/" + day + "/2010 1";
      if (round % 4 == 0 && i == count / 2) date = round % 8 ? "2010-02-30T" : "3/x/2010 1";
      texts.insert(texts.end(),
                   {"S" + std::to_string(rng() % 5000),
                    "P" + std::to_string(rng() % (count / 2 + 1)), "", "", "", date, ""});
    }
    const std::vector<std::string_view> values(texts.begin(), texts.end());
    auto row = [&](size_t i) {
      return std::span<const std::string_view, kSaleValues>(&values[i * kSaleValues], kSaleValues);
    };
    SkuTable skus;
    SaleTable one_by_one;
    TableRows single(skus, one_by_one);
    std::string single_error;
    for (size_t i = 0; i < count && single_error.empty(); ++i)
      single_error = ErrorOf([&] { single.SaleRow(row(i)); });
    // In batches, as they come, or prepared beforehand (the bad date is read again).
    for (bool prepare : {false, true}) {
      SaleTable batched;
      TableRows batch(skus, batched);
      std::vector<PreparedSale> prepared(count);
      for (size_t i = 0; i < count && prepare; ++i)
        ASSERT_TRUE(batch.PrepareSale(row(i), prepared[i]));
      EXPECT_EQ(ErrorOf([&] {
                  batch.SaleRows(values.data(), prepare ? prepared.data() : nullptr, count);
                }),
                single_error);
      ASSERT_EQ(batched.size(), one_by_one.size());
      auto key = [](const RSALE& s) { return std::make_tuple(s.SkuId, s.PurchaseId, s.SaleDate); };
      for (size_t i = 0; i < batched.size(); ++i) EXPECT_EQ(key(batched[i]), key(one_by_one[i]));
    }
  }
}

}  // namespace
}  // namespace tollwick::testing
