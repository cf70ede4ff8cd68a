#include "rates/price_list.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "tables/errors.h"

namespace tollwick {
namespace {

TEST(SplitPriceFields, SemicolonsBecomeLineBreaks) {
  struct Case {
    std::string_view line;
    std::vector<std::string_view> fields;
  };
  const Case cases[] = {
      {"P;Q;R", {"P", "Q", "R"}},
      {"P;;R", {"P", "", "R"}},
      {"P;Q;", {"P", "Q"}},
      {"P;Q;;", {"P", "Q", ""}},
      {"", {}},
      {";", {""}},
      {";;", {"", ""}},
      {"P", {"P"}},
      {" P ; Q ;R ", {" P ", " Q ", "R "}},
      {"P;Q;R;S;", {"P", "Q", "R", "S"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitPriceFields(c.line), c.fields) << c.line;
}

class PriceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* id : {"X1001", "X1002", "x1003", "SKU"})
      skus_.AddSku(id, "T", "1", "", "", "M");
  }
  std::vector<std::string> Codes() const {
    std::vector<std::string> codes;
    for (const RCUR& cur : currencies_.records()) codes.push_back(cur.Code);
    return codes;
  }
  SkuTable skus_;
  CurrencyTable currencies_;
};

TEST_F(PriceListTest, LaterLinesWinAndEveryCurrencyIsRegistered) {
  ApplyPriceList("X1001;USD;299\r\nX1002;EUR;249;this field is ignored\nX1001;GBP;199\rnote\n",
                 skus_, currencies_);
  EXPECT_EQ(skus_[0].Currency, "GBP");
  EXPECT_EQ(skus_[0].Amount, 199);
  EXPECT_EQ(skus_[1].Currency, "EUR");
  EXPECT_EQ(skus_[1].Amount, 249);
  EXPECT_EQ(skus_[2].Currency, "");
  EXPECT_EQ(Codes(), (std::vector<std::string>{"USD", "EUR", "GBP"}));
}

TEST_F(PriceListTest, FieldsAreTakenAsWritten) {
  ApplyPriceList(
      "X1003;usd;1\n"     // SKU ids compare case-sensitively
      " X1002;USD;2\n"    // and untrimmed
      "SKU;Currency;3\n"  // a header-like line is data
      "X1002;;4\n"        // an empty currency is a code of its own
      "X1001; usd ;5\n",  // codes keep blanks and case
      skus_, currencies_);
  EXPECT_EQ(skus_[2].Amount, 0);
  EXPECT_EQ(skus_[3].Currency, "Currency");
  EXPECT_EQ(skus_[3].Amount, 3);
  EXPECT_EQ(skus_[1].Currency, "");
  EXPECT_EQ(skus_[1].Amount, 4);
  EXPECT_EQ(skus_[0].Currency, " usd ");
  EXPECT_EQ(Codes(), (std::vector<std::string>{"usd", "USD", "Currency", "", " usd "}));
}

TEST_F(PriceListTest, ShortLinesAreIgnoredWhole) {
  ApplyPriceList("X1001;USD;\nX1001;USD\n\nX1001\n", skus_, currencies_);
  EXPECT_EQ(skus_[0].Currency, "");
  EXPECT_TRUE(currencies_.empty());
}

TEST_F(PriceListTest, AmountGrammar) {
  struct Case {
    std::string amount;
    std::optional<int32_t> value;
  };
  const Case cases[] = {
      {"299", 299},
      {"  299", 299},
      {"+5", 5},
      {"-5", -5},
      {"0", 0},
      {"$FF", 255},
      {"x10", 16},
      {"X10", 16},
      {"0x10", 16},
      {"0Xff", 255},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
      {"", std::nullopt},
      {"1.99", std::nullopt},
      {"199 ", std::nullopt},
      {"+", std::nullopt},
      {"abc", std::nullopt},
      {"2147483648", std::nullopt},
      {"$100000000", std::nullopt},
      {"\t5", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.amount);
    SkuTable skus;
    skus.AddSku("A", "T", "1", "", "", "M");
    CurrencyTable currencies;
    std::string text = "A;USD;" + c.amount + ";ignored";
    if (c.value) {
      ApplyPriceList(text, skus, currencies);
      EXPECT_EQ(skus[0].Amount, *c.value);
    } else {
      try {
        ApplyPriceList(text, skus, currencies);
        ADD_FAILURE() << "no error";
      } catch (const TollwickError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::EConvertError);
        EXPECT_EQ(std::string(e.what()), "'" + c.amount + "' is not a valid integer value");
      }
      // The currency was registered before the amount was read.
      EXPECT_EQ(currencies.size(), 1u);
    }
  }
}

TEST_F(PriceListTest, AnAmountIsReadOnlyForAKnownSku) {
  ApplyPriceList("NOPE;JPY;not a number\nX1001;USD;100\n", skus_, currencies_);
  EXPECT_EQ(skus_[0].Amount, 100);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"JPY", "USD"}));
}

TEST_F(PriceListTest, EveryTruncatedPrefixReadsWithoutHarm) {
  const std::string full = "X1001;USD;299\r\nX1002;EUR;249;x\r\nnote\r\nX1001;GBP;199\r\n";
  for (size_t n = 0; n <= full.size(); ++n) {
    SkuTable skus = skus_;
    CurrencyTable currencies;
    std::string prefix = full.substr(0, n);
    // A cut right after the second ";" leaves two fields, so no prefix has an empty amount.
    EXPECT_NO_THROW(ApplyPriceList(prefix, skus, currencies)) << prefix;
    EXPECT_LE(currencies.size(), 3u);
    if (n == full.size()) {
      EXPECT_EQ(skus[0].Amount, 199);
    }
  }
}

}  // namespace
}  // namespace tollwick
