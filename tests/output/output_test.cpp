// The fast tally against the literal one on random tables, and the written sections: columns
// under the switches, date windows, the share and the faults that stop a row.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>

#include "base/day_number.h"
#include "output/format.h"
#include "output/monthly_figures.h"
#include "output/period_sections.h"
#include "output/period_tally.h"
#include "output/product_section.h"
#include "support/checks.h"
#include "support/literal_tally.h"

namespace tollwick {
namespace {

// The tables, switches and range that the sections read, and the text they write.
struct Tables {
  SkuTable skus;
  SaleTable sales;
  CurrencyTable currencies;
  RateTable rates;
  ReportOptions options;
  double start = 0, end = 0;
  OutputSink out;

  void Sku(const std::string& id, const std::string& title, const std::string& market,
           bool professional, const std::string& currency, int32_t amount) {
    skus.AddSku(id, title, "1", professional ? "PPC" : "SP", market);
    skus.SetPrice(skus.Find(id), currency, amount);
  }
  void Sale(const std::string& id, int year, int month, int day) {
    sales.AddSale(id, "P" + std::to_string(sales.size()), EncodeDate(year, month, day));
  }
  std::string Write(SectionKind kind) {
    PeriodTally tally(skus, sales, currencies);
    WritePeriodSection(kind, tally, {options, currencies, rates, start, end}, out);
    return out.text();
  }
};

// A value as the tests compare it: a text, a number, or "?" for an unknown figure.
template <typename Value>
std::string Shown(const Value& value) {
  if constexpr (std::is_same_v<Value, Figure>) return value ? std::to_string(*value) : "?";
  if constexpr (std::is_integral_v<Value>) return std::to_string(value);
  if constexpr (std::is_constructible_v<std::string, Value>) return std::string(value);
}

// Random tables with prefix and empty titles, blank markets, repeated and empty ids, unknown
// and unpriced SKUs, unregistered currencies, unsorted tables.
TEST(TallyPeriod, MatchesLiteralOnRandomTables) {
  std::mt19937 rng(20100305);
  const std::vector<std::string> titles = {"", "A", "AB", "A B", "Chess", "ChessMaster", "SP X"};
  const std::vector<std::string> markets = {"", "US", "DE", "US PPC", "A"};
  const std::vector<std::string> codes = {"", "EUR", "USD", "usd"};
  auto sku_id = [&rng](unsigned ids) {
    const unsigned n = rng() % ids;
    return n == 0 ? std::string() : "S" + std::to_string(n);
  };
  for (int round = 0; round < 1500; ++round) {
    Tables state;
    for (int i = rng() % 12; i > 0; --i)
      state.Sku(sku_id(14), titles[rng() % titles.size()], markets[rng() % markets.size()],
                rng() % 2, codes[rng() % codes.size()], int32_t(rng() % 100000) - 500);
    for (int i = rng() % 4; i > 0; --i) state.currencies.RegisterCurrency(codes[rng() % 4]);
    if (rng() % 5 != 0) state.skus.SortSkus();
    // Whole days counted; far apart or not whole (one or all) sorted; windows cut days.
    const int days = round % 4;  // 0, 1: whole; 2: one not whole, added first; 3: none whole
    if (days == 2) state.sales.AddSale("S1", "odd", rng() % 2 ? EncodeDate(1, 1, 1) : 40185.5);
    for (int i = rng() % 60; i > 0; --i)
      state.sales.AddSale(sku_id(17), "P" + std::to_string(state.sales.size()),
                          EncodeDate(2010, 1 + rng() % 3, 1 + rng() % 28) +
                              (days == 3 ? double(1 + rng() % 7) / 8 : 0));
    for (int w = 0; w < 6; ++w) {
      double start = EncodeDate(2009, 12, 1) + double(rng() % 128) + (w % 2 ? 0.5 : 0);
      double end = start + double(rng() % 42) - 2;
      std::vector<int64_t> sums;
      PeriodTally tally(state.skus, state.sales, state.currencies);
      tally.TallyPeriod(start, end);
      auto lines =
          literal::TallyPeriod(state.skus, state.sales, state.currencies, sums, start, end);
      ASSERT_EQ(tally.currency_sums(), sums) << "round " << round;
      ASSERT_EQ(tally.lines().size(), lines.size()) << "round " << round;
      for (size_t i = 0; i < lines.size(); ++i) {
        const TallyLine& line = tally.lines()[i];
        ASSERT_TRUE(line.Name() == lines[i].Name && line.Count == lines[i].Count &&
                    line.IsTotal == lines[i].IsTotal)
            << "round " << round << " line " << i;
      }
    }
  }
}

// Tally lines US PPC Alpha 2, US SP Alpha 1, DE PPC Beta 1 on 15 March 2009; 1.99 EUR and
// 8.97 USD at 1.495 USD per euro.
void Example(Tables& state) {
  state.Sku("a", "Alpha", "US", true, "USD", 299);
  state.Sku("b", "Alpha", "US", false, "USD", 299);
  state.Sku("c", "Beta", "DE", true, "EUR", 199);
  for (const char* code : {"USD", "EUR"}) state.currencies.RegisterCurrency(code);
  for (auto [code, rate] : {std::pair{"EUR", 1.0L}, {"USD", 1.495L}})
    state.rates.Append(code, rate);
  state.skus.SortSkus();
  state.currencies.SortCurrencies();
  for (const char* id : {"a", "a", "b", "c"}) state.Sale(id, 2009, 3, 15);
  state.start = EncodeDate(2009, 3, 15);
  state.end = state.start + 1;
}

// A text field holding the separator, a quotation mark or a line break is quoted, a column
// title as a whole; a missing price shows as "???".
TEST(Sections, TextFieldsThatNeedQuotes) {
  Tables state;
  state.Sku("a", "Say \"hi\"", "DE", true, "U;S", -105);
  state.Sku("b;1", "Tips ; Tricks", "US", true, "EUR", 100);
  state.Sku("c", "Plain", "U\nS", false, "", 1);
  for (const char* code : {"U;S", "EUR"}) state.currencies.RegisterCurrency(code);
  state.skus.SortSkus();
  state.currencies.SortCurrencies();
  state.options.TotalCurrency = "E;R";
  WriteProductSection(state.skus, state.options, state.out);
  const std::string text = state.Write(SectionKind::Total);
  EXPECT_EQ(
      text.substr(0, text.find("\r\n", text.find("TOTAL;"))),
      "SKUID;Title;Market;Version;OS Type;Currency;Amount;\r\n"
      "c;Plain;\"U\nS\";1;SP;???;???;\r\na;\"Say \"\"hi\"\"\";DE;1;PPC;\"U;S\";-1.05;\r\n"
      "\"b;1\";\"Tips ; Tricks\";US;1;PPC;EUR;1.00;\r\n\r\n"
      "TOTAL;\"U\nS SP Plain\";TOTAL Plain;;\"DE PPC Say \"\"hi\"\"\";\"TOTAL Say \"\"hi\"\"\";;"
      "\"US PPC Tips ; Tricks\";\"TOTAL Tips ; Tricks\";;EUR;\"U;S\";;\"TOTAL E;R\";;\"SHARE "
      "E;R\";");
}

// The columns under the switches. A zero rate stops inside the row, and so does money in a
// currency without a rate, after its sum (a zero sum needs no rate); a row total beyond 64 bits
// is an error, not a wrap.
TEST(PeriodSections, ColumnsUnderTheSwitchesAndRowFaults) {
  const std::string row = ";2;1;3;;1;1;;1.99;8.97;";
  const std::tuple<bool, bool, std::function<void(Tables&)>, std::string, std::string> cases[] = {
      {true, true, nullptr, "",
       "TOTAL;US PPC Alpha;US SP Alpha;TOTAL Alpha;;DE PPC Beta;TOTAL Beta;;EUR;USD;;TOTAL EUR;;"
       "SHARE EUR;\r\n" +
           row + ";7.99;;5.59;\r\n\r\n"},
      {false, true, nullptr, "",
       "TOTAL;Alpha;Beta;;EUR;USD;;TOTAL EUR;;SHARE EUR;\r\n;3;1;;1.99;8.97;;7.99;;5.59;\r\n\r\n"},
      {false, false, nullptr, "", ";3;1;;7.99;;5.59;\r\n\r\n"},
      {true, false, nullptr, "", ";2;1;3;;1;1;;7.99;;5.59;\r\n\r\n"},
      {true, true, [](Tables& t) { t.rates.Append("USD", 0); },
       "EZeroDivide: Floating point division by zero", row},
      {true, true,
       [](Tables& t) {
         t.rates.Clear();
         t.rates.Append("USD", 1.495L);
         t.currencies.RegisterCurrency("AAA");
         t.currencies.SortCurrencies();
       },
       "EConvertError: No exchange rate for currency \"EUR\"", ";2;1;3;;1;1;;0.00;1.99;"},
      {true, true,
       [](Tables& t) {
         t.rates.Clear();
         t.rates.Append("EUR", 199 / std::ldexp(3.0L, 61));  // each sum converts to 3 * 2^61
         t.rates.Append("USD", 897 / std::ldexp(3.0L, 61));
       },
       "EInvalidOp: Invalid floating point operation", row},
  };
  for (const auto& [markets, currencies, setup, error, text] : cases) {
    Tables state;
    Example(state);
    if (setup) setup(state);
    state.options.ShowMarkets = markets;
    state.options.ShowCurrencies = currencies;
    state.options.ShowHeaders = text.starts_with("TOTAL");
    EXPECT_EQ(testing::ErrorOf([&] { state.Write(SectionKind::Total); }), error);
    EXPECT_EQ(state.out.text(), text);
  }
}

TEST(PeriodSections, DateWindows) {
  // One SKU at 1.00 EUR; YEAR and MONTH rows count their whole window, whatever the range.
  const std::tuple<SectionKind, CivilDate, CivilDate, std::string> cases[] = {
      // clang-format off
      {SectionKind::Year, {2009, 12, 30}, {2010, 1, 3}, "2009;5;;5.00;;3.50;2010;1;;1.00;;0.70;"},
      {SectionKind::Month, {2009, 12, 31}, {2010, 1, 2}, "200912;1;;1.00;;0.70;201001;1;;1.00;;0.70;"},
      {SectionKind::Date, {2009, 12, 31}, {2010, 1, 2}, "20091231;1;;1.00;;0.70;20100101;1;;1.00;;0.70;"},
      {SectionKind::Date, {2009, 3, 16}, {2009, 3, 15}, ""},
  };  // clang-format on
  for (const auto& [kind, from, to, rows] : cases) {
    Tables state;
    state.Sku("a", "Alpha", "US", true, "EUR", 100);
    state.currencies.RegisterCurrency("EUR");
    state.rates.Append("EUR", 1);
    const CivilDate sold[] = {{2009, 1, 1},   {2009, 3, 1}, {2009, 3, 15}, {2009, 3, 31},
                              {2009, 12, 31}, {2010, 1, 1}, {2011, 4, 1}};
    for (CivilDate d : sold) state.Sale("a", d.year, d.month, d.day);
    state.options = {false, false, false, false, false, false, false, false, "EUR"};
    state.start = EncodeDate(from.year, from.month, from.day);
    state.end = EncodeDate(to.year, to.month, to.day);
    std::string text = state.Write(kind);
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 2);
    EXPECT_EQ(text, rows) << rows;
  }
}

TEST(Format, ShareAndCents) {
  // clang-format off
  const std::pair<int64_t, int64_t> shares[] = {
      {5, 4}, {15, 10}, {25, 18}, {35, 24}, {-15, -10}, {-5, -4}, {-25, -18}, {999, 699},
      {1, 1}, {-1, -1}, {2, 1}, {INT64_MAX, 6456360425798343065},
      {INT64_MIN, -6456360425798343066},
  };
  // clang-format on
  for (auto [total, share] : shares) EXPECT_EQ(ShareOfTotal(total), share) << total;
  EXPECT_EQ(FormatCents(-5) + FormatCents(INT64_MIN), "-0.05-92233720368547758.08");
}

// Money per title and market per month: each currency's sum converted on its own, "?" where the
// MONTH section raises; unknown SKUs count nowhere, unpriced ones add no money.
TEST(MonthlyFigures, MoneyPerTitleAndMarket) {
  Tables state;
  state.Sku("a", "Alpha", "US", true, "USD", 125);
  state.Sku("b", "Alpha", "DE", true, "EUR", 200);
  state.Sku("c", "Beta", "US", true, "USD", 250);
  state.Sku("d", "Beta", "FR", true, "", 0);
  state.Sku("e", "Gamma", "DE", true, "GBP", 100);
  state.skus.SortSkus();
  for (const char* code : {"USD", "GBP", "EUR"}) state.currencies.RegisterCurrency(code);
  state.currencies.SortCurrencies();
  for (auto [code, rate] : {std::pair{"EUR", 1.0L}, {"USD", 1.25L}}) state.rates.Append(code, rate);
  const std::tuple<const char*, int, int> sales[] = {{"a", 3, 15}, {"a", 3, 15}, {"b", 3, 16},
                                                     {"c", 3, 1},  {"d", 3, 20}, {"zz", 3, 20},
                                                     {"b", 4, 2},  {"e", 4, 5},  {"a", 4, 20}};
  for (auto [id, month, day] : sales) state.Sale(id, 2009, month, day);
  MonthlyFigures figures(state.skus, state.sales, state.currencies, state.rates,
                         EncodeDate(2009, 3, 15), EncodeDate(2009, 4, 10));
  auto text = [](const auto& values) {
    std::string out;
    for (const auto& v : values) out += (out.empty() ? "" : ",") + Shown(v);
    return out;
  };
  std::string shown = text(figures.Titles()) + " | " + text(figures.Markets()) + " | " +
                      text(figures.RangeSales()) + "\n";
  MonthFigures month;
  for (size_t m = 0; m < figures.size(); ++m) {
    figures.Compute(m, month);
    shown += std::to_string(month.Month.month) + ": " + Shown(month.Total) + " | " +
             text(month.TitleMoney) + " | " + text(month.MarketMoney) + " | " +
             text(month.TitleSales) + "\n";
  }
  EXPECT_EQ(shown,
            "Alpha,Beta,Gamma | DE,FR,US | 4,1,1\n"
            "3: 600 | 400,200,0 | 200,0,400 | 3,2,0\n"
            "4: ? | 300,0,? | ?,0,100 | 2,0,1\n");
  // The total is the MONTH section's; where it raises, the figures are unknown instead.
  state.options.ShowHeaders = state.options.ShowMarkets = state.options.ShowCurrencies = false;
  state.start = EncodeDate(2009, 3, 1), state.end = EncodeDate(2009, 4, 2);
  EXPECT_EQ(testing::ErrorOf([&] { state.Write(SectionKind::Month); }),
            "EConvertError: No exchange rate for currency \"GBP\"");
  EXPECT_EQ(state.out.text(), "200903;3;2;0;;6.00;;4.20;\r\n200904;2;0;1;;");
  // The charts show the unknowns too (the binary's tests check their series on every workbook).
  const MonthlyChart chart = CollectMonthlyChart(figures);
  EXPECT_EQ(text(chart.MoneyOf[1]) + " | " + text(chart.Totals), "300,0,? | 600,?");
}

}  // namespace
}  // namespace tollwick
