// Lines and fields of the two text files, the rate grammar, pricing and the rebasing of rates.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "base/text_file.h"
#include "rates/decimal_separator.h"
#include "rates/price_list.h"
#include "rates/prices_and_rates.h"
#include "rates/rate_list.h"
#include "support/checks.h"
#include "support/test_support.h"

namespace tollwick {
namespace {

using namespace tollwick::testing;
using Views = std::vector<std::string_view>;
using Texts = std::vector<std::string>;

TEST(TextFiles, LinesAndPriceFields) {
  const std::pair<std::string, Views> lines[] = {
      {"\n", {""}},
      {"a\n\r b", {"a", "", " b"}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {std::string("ab\0c\nd", 6), {"ab"}},
  };
  for (const auto& [text, split] : lines) EXPECT_EQ(SplitLines(text), split) << text;
  const std::pair<std::string_view, Views> fields[] = {
      {"P;Q;", {"P", "Q"}},
      {"P;Q;;", {"P", "Q", ""}},
      {" P ;;R ", {" P ", "", "R "}},
  };
  for (const auto& [line, split] : fields) EXPECT_EQ(SplitPriceFields(line), split) << line;
}

TEST(RateList, GrammarAndLines) {
  const std::tuple<std::string_view, std::string_view, long double> good[] = {
      {"1.3000", ".", 1.3L}, {"8.5e-1", ".", 0.85L}, {".5", ".", 0.5L},  {"  1.5  ", ".", 1.5L},
      {"1e-5000", ".", 0},   {"1,3", ",", 1.3L},     {"1.3", ",", 1.3L}, {"5.e1", ",", 50},
  };
  for (const auto& [text, separator, value] : good) {
    long double read = 42;
    EXPECT_TRUE(ParseRateText(text, separator, read) && read == value) << text;
  }
  for (std::string_view text : {"", ".", "e5", "1e", "1,3", "1.3.", "- 1", "\t1", "1\t", "0x10",
                                "inf", "nan", "1e4933", "1.3 US dollar"}) {
    long double read = 42;
    EXPECT_FALSE(ParseRateText(text, ".", read) || read != 42) << text;
  }
  const std::pair<std::string_view, std::string> lists[] = {
      {"EUR 1.00 = USD 1.3<br>EUR 1.00 = GBP 0.85\r\nEUR 1.00 = EUR 1", "USD 1.3 GBP 0.85 EUR 1 "},
      {"EUR 1.00 = USD 1.3<BR>EUR 1.00 = GBP 0.85", "USD 0 "},  // the rate does not read
      {"EUR 1.00 = usd\t 1.3 \nEUR 1.00 = USD 1.3=2", "usd\t 1.3 USD 0 "},
      {"EUR 1.00 = USD\nEUR 1.00 =USD 1.3\n eur 1.00 = USD 1\nEUR 1,00 = USD 1\nUSD 1.3", ""},
  };
  for (const auto& [text, entries] : lists) {
    RateTable table;
    ReadRateList(text, ".", table);
    std::ostringstream out;
    for (const ExchangeRate& r : table) out << r.Code << " " << double(r.Rate) << " ";
    EXPECT_EQ(out.str(), entries) << text;
  }
}

class PricesAndRates : public ::testing::Test {
 protected:
  PricesAndRates() : here_(dir_.path()) {
    skus_.AddSku("X1001", "Game", "1", "SP", "M");
    skus_.AddSku("X1002", "Tool", "1", "SP", "M");
  }
  std::string Load(const std::string& prices, const std::string& rates, const char* total) {
    WriteFile(dir_ / "prices.csv", prices);
    WriteFile(dir_ / "currency.txt", rates);
    total_ = total;
    warnings_ = WarningList();
    return ErrorOf([&] {
      LoadPricesAndRates(SystemFileSystem(), "prices.csv", "currency.txt", skus_, currencies_,
                         rates_, warnings_);
      RebaseRates(total_, rates_, !skus_.empty());
    });
  }
  static std::string Cwd() { return std::filesystem::current_path(); }
  TempDir dir_;
  ScopedChdir here_;
  SkuTable skus_;
  CurrencyTable currencies_;
  RateTable rates_;
  std::string total_;
  WarningList warnings_;
};

TEST_F(PricesAndRates, RebasingExample) {
  EXPECT_EQ(Load("X1001;USD;299\nX1002;EUR;249;x\nX1001;GBP;199\nnote\nX1002;USD;\nNO;JPY;x\n",
                 "EUR 1.00 = USD 1.3000<br>EUR 1.00 = GBP 0.8500<br>", "usd"),
            "");
  EXPECT_EQ(skus_[0].Currency + total_, "GBPUSD");
  EXPECT_EQ(currencies_.size(), 4u);  // USD, EUR, GBP, JPY
  EXPECT_EQ(rates_.ConvertToTotal("GBP", 199), 304);
  EXPECT_EQ(rates_.ConvertToTotal("EUR", 249), 324);
  // A later EUR line of the file decides; the total currency needs no line of its own.
  EXPECT_EQ(Load("X1002;EUR;249\n", "EUR 1.00 = EUR 2\n", "EUR"), "");
  EXPECT_EQ(rates_.ConvertToTotal("EUR", 249), 124);
}

TEST_F(PricesAndRates, Failures) {
  const std::string no_rate = "EConvertError: No exchange rate for currency \"GBP\"";
  auto bad_price = [](const std::string& price, const std::string& sku) {
    return Texts{"the price \"" + price + "\" of \"" + sku + "\" in \"" + Cwd() +
                 "/prices.csv\" cannot be read as a whole number of cents"};
  };
  const std::tuple<const char*, const char*, const char*, std::string, Texts> cases[] = {
      {"X1001;USD;1", "EUR 1.00 = USD 1.3", "gbp", no_rate, {}},
      {"X1001;USD;1", "EUR 1.00 = GBP 0.85\nEUR 1.00 = GBP 0", "GBP", no_rate, {}},
      {"X1001;USD;1", "EUR 1.00 = GBP 0\nEUR 1.00 = GBP 0.85", "GBP", "", {}},
      {"X1001;USD;1.99", "", "EUR", NotInteger("1.99"), bad_price("1.99", "X1001")},
      // Only the prices of products the reports name are read.
      {"X9;USD;1.99\nX1002;EUR;2147483648", "", "EUR", NotInteger("2147483648"),
       bad_price("2147483648", "X1002")},
  };
  for (const auto& [prices, rates, total, error, warnings] : cases) {
    EXPECT_EQ(Load(prices, rates, total), error) << rates;
    EXPECT_EQ(warnings_.texts(), warnings) << prices;
  }
  // Without SKUs nothing is read, so no rate is missing.
  skus_.Clear();
  EXPECT_EQ(Load("X1001;USD;1", "", "GBP"), "");
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod((dir_ / "currency.txt").c_str(), 0), 0);
    std::string text;
    EXPECT_EQ(ErrorOf([&] { ReadTextFile(SystemFileSystem(), "currency.txt", text); }),
              "EFOpenError: Cannot open file \"" + Cwd() + "/currency.txt\". Permission denied");
  }
}

TEST_F(PricesAndRates, DirectoriesAndFifosAreSkipped) {
  skus_.SetPrice(0, "USD", 1);
  ASSERT_EQ(::mkdir("prices.csv", 0755), 0);
  ASSERT_EQ(::mkfifo("currency.txt", 0644), 0);
  // Both count as absent: the missing rate list is told to the caller, the price list warned of.
  EXPECT_FALSE(LoadPricesAndRates(SystemFileSystem(), "prices.csv", "currency.txt", skus_,
                                  currencies_, rates_, warnings_));
  EXPECT_EQ(skus_[0].Currency, "");
  EXPECT_EQ(rates_.size(), 1u);
  EXPECT_EQ(warnings_.texts(), Texts{"no price list: \"" + Cwd() +
                                     "/prices.csv\" not found, so no product has a price"});
}

TEST_F(PricesAndRates, CommaLocaleReadsBothSpellings) {
  std::string comma;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"})
    if (comma.empty() && DecimalSeparatorOfLocale(name) == ",") comma = name;
  if (comma.empty()) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const char* saved = std::getenv("LC_ALL");
  std::string old = saved ? saved : "";
  ::setenv("LC_ALL", comma.c_str(), 1);
  EXPECT_EQ(Load("", "EUR 1.00 = USD 1.3000\nEUR 1.00 = GBP 0,85\n", "EUR"), "");
  saved ? ::setenv("LC_ALL", old.c_str(), 1) : ::unsetenv("LC_ALL");
  EXPECT_EQ(rates_.ConvertToTotal("USD", 130) + rates_.ConvertToTotal("GBP", 85), 200);
}

}  // namespace
}  // namespace tollwick
