#include "rates/prices_and_rates.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "rates/comma_locale.h"
#include "support/test_support.h"
#include "tables/errors.h"
#include "tables/text.h"

namespace tollwick {
namespace {

using tollwick::testing::ScopedChdir;
using tollwick::testing::TempDir;
using tollwick::testing::WriteFile;

class PricesAndRatesTest : public ::testing::Test {
 protected:
  PricesAndRatesTest() : here_(dir_.path()) {}
  void AddSkus() {
    state_.Skus.AddSku("X1001", "Game", "1", "", "", "M");
    state_.Skus.AddSku("X1002", "Tool", "1", "", "", "M");
  }
  void Load() { LoadPricesAndRates(state_, "prices.csv", "currency.txt"); }
  std::vector<std::string> RateCodes() const {
    std::vector<std::string> codes;
    for (const RCONVERT& r : state_.Rates.records()) codes.push_back(r.Code);
    return codes;
  }
  // The message of the error `f` raises, with its kind; empty when it raises nothing.
  template <typename F>
  std::string ErrorOf(F f, ErrorKind kind) {
    try {
      f();
    } catch (const TollwickError& e) {
      EXPECT_EQ(e.kind(), kind);
      return e.what();
    }
    return "";
  }

  TempDir dir_;
  ScopedChdir here_;
  RunState state_;
};

TEST_F(PricesAndRatesTest, WithoutSkusNothingIsRead) {
  WriteFile(dir_ / "prices.csv", "X1001;USD;1\n");
  WriteFile(dir_ / "currency.txt", "EUR 1.00 = USD 1.3");
  state_.Rates.Append("GBP", 2);
  Load();
  EXPECT_EQ(RateCodes(), (std::vector<std::string>{"GBP"}));
  EXPECT_TRUE(state_.Currencies.empty());
  state_.Options.TotalCurrency = "usd";
  RebaseRates(state_);  // no prices, so no missing-rate error
  EXPECT_EQ(state_.Options.TotalCurrency, "USD");
}

TEST_F(PricesAndRatesTest, MissingFilesLeaveSkusUnpricedAndTheEuroRated) {
  AddSkus();
  state_.Skus[0].Currency = "USD";
  state_.Skus[0].Amount = 5;
  ASSERT_EQ(mkdir("prices.csv", 0755), 0);  // a directory does not count
  Load();
  EXPECT_EQ(state_.Skus[0].Currency, "");
  EXPECT_EQ(state_.Skus[0].Amount, 0);
  EXPECT_TRUE(state_.Currencies.empty());
  EXPECT_EQ(RateCodes(), (std::vector<std::string>{"EUR"}));
  EXPECT_EQ(state_.Rates.ConvertToTotal("EUR", 249), 249);
}

TEST_F(PricesAndRatesTest, AFifoIsSkippedWithoutHanging) {
  AddSkus();
  ASSERT_EQ(mkfifo("prices.csv", 0644), 0);
  ASSERT_EQ(mkfifo("currency.txt", 0644), 0);
  Load();
  EXPECT_TRUE(state_.Currencies.empty());
  EXPECT_EQ(RateCodes(), (std::vector<std::string>{"EUR"}));
}

TEST_F(PricesAndRatesTest, WorkedRebasingExample) {
  AddSkus();
  WriteFile(dir_ / "prices.csv", "X1001;USD;299\nX1002;EUR;249;ignored\nX1001;GBP;199\nnote\n");
  WriteFile(dir_ / "currency.txt",
            "EUR 1.00 = USD 1.3000<br>EUR 1.00 = GBP 0.8500<br>EUR 1.00 = EUR 1.0000<br>");
  state_.Options.TotalCurrency = "usd";
  Load();
  EXPECT_EQ(state_.Skus[0].Currency, "GBP");
  EXPECT_EQ(state_.Skus[0].Amount, 199);
  EXPECT_EQ(RateCodes(), (std::vector<std::string>{"EUR", "USD", "GBP", "EUR"}));
  RebaseRates(state_);
  EXPECT_EQ(state_.Options.TotalCurrency, "USD");
  EXPECT_EQ(state_.Rates[1].Rate, 1);
  EXPECT_EQ(state_.Rates[2].Rate, 0.85L / 1.3L);
  EXPECT_EQ(state_.Rates.ConvertToTotal("GBP", 199), 304);
  EXPECT_EQ(state_.Rates.ConvertToTotal("USD", 299), 299);
  EXPECT_EQ(state_.Rates.ConvertToTotal("EUR", 249), 324);  // 249 * 1.3 = 323.7
}

TEST_F(PricesAndRatesTest, TheEuroNeedsNoLineButALaterLineDecides) {
  AddSkus();
  WriteFile(dir_ / "prices.csv", "X1002;EUR;249\n");
  WriteFile(dir_ / "currency.txt", "EUR 1.00 = USD 1.3\n");
  Load();
  RebaseRates(state_);
  EXPECT_EQ(state_.Rates.ConvertToTotal("EUR", 249), 249);

  WriteFile(dir_ / "currency.txt", "EUR 1.00 = EUR 2\n");
  Load();
  RebaseRates(state_);
  EXPECT_EQ(state_.Rates.ConvertToTotal("EUR", 249), 124);  // 124.5, to even
}

TEST_F(PricesAndRatesTest, TwoEntriesForTheTotalCurrency) {
  AddSkus();
  WriteFile(dir_ / "currency.txt", "EUR 1.00 = USD 1.3\r\nEUR 1.00 = USD 1.4\r\n");
  state_.Options.TotalCurrency = "USD";
  Load();
  RebaseRates(state_);
  ASSERT_EQ(state_.Rates.size(), 3u);
  EXPECT_EQ(state_.Rates[0].Rate, 1 / 1.4L);
  EXPECT_EQ(state_.Rates[1].Rate, 1.3L / 1.4L);
  EXPECT_EQ(state_.Rates[2].Rate, 1);
  EXPECT_EQ(state_.Rates.ConvertToTotal("USD", 1000), 1000);
}

TEST_F(PricesAndRatesTest, ATotalCurrencyWithoutAUsableRateEndsTheRun) {
  AddSkus();
  struct Case {
    const char* rates;
    const char* total;
    const char* message;  // nullptr: no error
  };
  const Case cases[] = {
      {"EUR 1.00 = USD 1.3", "gbp", "No exchange rate for currency \"GBP\""},
      {"EUR 1.00 = GBP abc", "GBP", "No exchange rate for currency \"GBP\""},
      {"EUR 1.00 = GBP 0.85\nEUR 1.00 = GBP 0", "GBP", "No exchange rate for currency \"GBP\""},
      {"EUR 1.00 = GBP 0\nEUR 1.00 = GBP 0.85", "GBP", nullptr},
      {"", "eur", nullptr},
      {"EUR 1.00 = EUR 0", "EUR", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rates);
    WriteFile(dir_ / "currency.txt", c.rates);
    state_.Options.TotalCurrency = c.total;
    Load();
    std::string message = ErrorOf([&] { RebaseRates(state_); }, ErrorKind::EConvertError);
    EXPECT_EQ(message, c.message ? c.message : "");
    EXPECT_EQ(state_.Options.TotalCurrency, UpperAscii(c.total));
  }
}

TEST_F(PricesAndRatesTest, ABadAmountOfAKnownSkuEndsTheRun) {
  AddSkus();
  WriteFile(dir_ / "prices.csv", "NOPE;JPY;x;\nX1001;USD;;\n");
  std::string message = ErrorOf([&] { Load(); }, ErrorKind::EConvertError);
  EXPECT_EQ(message, "'' is not a valid integer value");
}

TEST_F(PricesAndRatesTest, ManyPricesAreMatchedQuickly) {
  std::string prices;
  for (int i = 0; i < 20000; ++i) {
    std::string id = "S" + std::to_string(i);
    state_.Skus.AddSku(id, "T", "1", "", "", "M");
    prices += id + ";USD;" + std::to_string(i) + "\r\n";
  }
  WriteFile(dir_ / "prices.csv", prices);
  Load();
  EXPECT_EQ(state_.Skus[19999].Amount, 19999);
  EXPECT_EQ(state_.Currencies.size(), 1u);
}

TEST_F(PricesAndRatesTest, ACommaLocaleReadsBothSpellings) {
  std::string comma = CommaLocale();
  if (comma.empty()) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const char* saved = std::getenv("LC_ALL");
  std::optional<std::string> old = saved ? std::optional<std::string>(saved) : std::nullopt;
  setenv("LC_ALL", comma.c_str(), 1);
  AddSkus();
  WriteFile(dir_ / "currency.txt", "EUR 1.00 = USD 1.3000\nEUR 1.00 = GBP 0,85\n");
  Load();
  if (old) {
    setenv("LC_ALL", old->c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  ASSERT_EQ(state_.Rates.size(), 3u);
  EXPECT_EQ(state_.Rates[1].Rate, 1.3L);
  EXPECT_EQ(state_.Rates[2].Rate, 0.85L);
}

}  // namespace
}  // namespace tollwick
