// Report rows into records: the edition rule and the two forms of a purchase's date text.
#include "intake/table_rows.h"

#include <gtest/gtest.h>

#include "support/checks.h"

namespace tollwick {
namespace {

using testing::ErrorOf;

std::string NotInteger(const std::string& text) {
  return "EConvertError: '" + text + "' is not a valid integer value";
}
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
  };
  // clang-format on
  for (const auto& [text, error] : cases) {
    double day = 0;
    EXPECT_EQ(ErrorOf([&] { day = ParseSaleDate(text); }), error) << text;
    EXPECT_EQ(day, error.empty() ? 40242 : 0) << text;
  }
  EXPECT_EQ(ParseSaleDate("2012-02-29T"), 40968);
  EXPECT_EQ(ParseSaleDate("12/31/2009 11:59:59 PM"), 40178);
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
  const std::array<std::string_view, kSaleValues> sale{"A", "P1", "3", "4", "5", "3/6/2010 1", "7"};
  rows.SaleRow(sale);
  EXPECT_EQ(std::string(sales[0].SkuId) + std::string(sales[0].PurchaseId), "AP1");
  EXPECT_EQ(sales[0].SaleDate, 40243);
}

}  // namespace
}  // namespace tollwick
