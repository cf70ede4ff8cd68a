// The fast tally against the literal one on random tables, and the written sections: columns
// under the switches, date windows, the share and the faults that stop a row.
#include <gtest/gtest.h>

#include <climits>

#include "output/format.h"
#include "output/period_sections.h"
#include "output/period_tally.h"
#include "support/checks.h"
#include "support/literal_tally.h"
#include "tables/day_number.h"

namespace tollwick {
namespace {

void AddSku(RunState& state, const std::string& id, const std::string& title,
            const std::string& market, bool professional, const std::string& currency,
            int32_t amount) {
  state.Skus.AddSku(id, title, "1", "", professional ? "Professional" : "", market);
  state.Skus[state.Skus.Find(id)].Currency = currency;
  state.Skus[state.Skus.Find(id)].Amount = amount;
}

void AddSale(RunState& state, const std::string& id, int year, int month, int day) {
  state.Sales.AddSale(
      id, "P" + std::to_string(state.Sales.size()), "", "", "",
      std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day) + "T10:00:00Z",
      "");
}

std::string Lines(const RunState& state) {
  std::string out;
  for (const RAPPS& r : state.Tally.records())
    out += r.Name + "=" + std::to_string(r.Count) + (r.IsTotal ? "! " : " ");
  for (const RCUR& c : state.Currencies.records())
    out += c.Code + ":" + std::to_string(c.Total) + " ";
  return out;
}

// Random tables full of the awkward cases: titles that begin other titles, empty titles,
// markets holding blanks, repeated ids, sales of unknown SKUs, unpriced SKUs, prices in
// unregistered currencies, tables left unsorted.
TEST(TallyPeriod, MatchesLiteralOnRandomTables) {
  std::mt19937 rng(20100305);
  const std::vector<std::string> titles = {"", "A", "AB", "A B", "Chess", "ChessMaster", "SP X"};
  const std::vector<std::string> markets = {"", "US", "DE", "US PPC", "A"};
  const std::vector<std::string> codes = {"", "EUR", "USD", "usd"};
  for (int round = 0; round < 1500; ++round) {
    RunState state;
    for (int i = rng() % 12; i > 0; --i)
      AddSku(state, "S" + std::to_string(rng() % 14), titles[rng() % titles.size()],
             markets[rng() % markets.size()], rng() % 2, codes[rng() % codes.size()],
             int32_t(rng() % 100000) - 500);
    for (int i = rng() % 4; i > 0; --i) state.Currencies.RegisterCurrency(codes[rng() % 4]);
    if (rng() % 5 != 0) state.Skus.SortSkus();
    for (int i = rng() % 60; i > 0; --i)
      AddSale(state, "S" + std::to_string(rng() % 17), 2010, 1 + rng() % 3, 1 + rng() % 28);
    for (int w = 0; w < 6; ++w) {
      double start = EncodeDate(2009, 12, 1) + double(rng() % 128);
      double end = start + double(rng() % 42) - 2;
      RunState fast = state, slow = state;
      TallyPeriod(fast, start, end);
      literal::TallyPeriod(slow, start, end);
      ASSERT_EQ(Lines(fast), Lines(slow)) << "round " << round;
    }
  }
  // A title split by a longer one gets two lines; equal keys of different titles share one.
  RunState state;
  AddSku(state, "a", "Chess", "AT", true, "EUR", 5);
  AddSku(state, "b", "ChessMaster", "DE", true, "EUR", 7);
  AddSku(state, "c", "Chess", "US", false, "", 0);
  AddSku(state, "d", "SP X", "US", true, "EUR", 5);
  AddSku(state, "e", "X", "US PPC", false, "EUR", 7);
  state.Currencies.RegisterCurrency("EUR");
  state.Skus.SortSkus();
  for (const char* id : {"a", "b", "b", "c", "d", "e"}) AddSale(state, id, 2010, 1, 1);
  TallyPeriod(state, EncodeDate(2010, 1, 1), EncodeDate(2010, 1, 2));
  EXPECT_EQ(Lines(state),
            "AT PPC Chess=1 TOTAL Chess=1! DE PPC ChessMaster=2 TOTAL ChessMaster=2! US SP Chess=1 "
            "TOTAL Chess=1! US PPC SP X=2 TOTAL SP X=2! EUR:31 ");
}

// Tally lines US PPC Alpha 2, US SP Alpha 1, DE PPC Beta 1 on 15 March 2009; 1.99 EUR and
// 8.97 USD at 1.495 USD per euro.
RunState Example() {
  RunState state;
  AddSku(state, "a", "Alpha", "US", true, "USD", 299);
  AddSku(state, "b", "Alpha", "US", false, "USD", 299);
  AddSku(state, "c", "Beta", "DE", true, "EUR", 199);
  state.Currencies.RegisterCurrency("USD");
  state.Currencies.RegisterCurrency("EUR");
  state.Rates.Append("EUR", 1);
  state.Rates.Append("USD", 1.495L);
  state.Skus.SortSkus();
  state.Currencies.SortCurrencies();
  for (const char* id : {"a", "a", "b", "c"}) AddSale(state, id, 2009, 3, 15);
  state.RangeStart = EncodeDate(2009, 3, 15);
  state.RangeEnd = state.RangeStart + 1;
  return state;
}

TEST(PeriodSections, ColumnsUnderTheSwitches) {
  const std::tuple<bool, bool, const char*, std::string> cases[] = {
      {true, true,
       "TOTAL;US PPC Alpha;US SP Alpha;TOTAL Alpha;;DE PPC Beta;TOTAL Beta;;EUR;USD;;TOTAL EUR;;"
       "SHARE EUR;\r\n",
       ";2;1;3;;1;1;;1.99;8.97;;7.99;;5.59;\r\n\r\n"},
      {false, true, "TOTAL;Alpha;Beta;;EUR;USD;;TOTAL EUR;;SHARE EUR;\r\n",
       ";3;1;;1.99;8.97;;7.99;;5.59;\r\n\r\n"},
      {false, false, "", ";3;1;;7.99;;5.59;\r\n\r\n"},
      {true, false, "", ";2;1;3;;1;1;;7.99;;5.59;\r\n\r\n"},
  };
  for (const auto& [markets, currencies, header, row] : cases) {
    RunState state = Example();
    state.Options.ShowMarkets = markets;
    state.Options.ShowCurrencies = currencies;
    state.Options.ShowHeaders = *header != '\0';
    WritePeriodSection(state, SectionKind::Total);
    EXPECT_EQ(state.Output.text(), header + row);
  }
  RunState state = Example();  // the product section
  state.Skus[0].SkuId = "C;1";
  state.Skus[1].Currency = "";
  WriteProductSection(state);
  EXPECT_EQ(
      state.Output.text(),
      "SKUID;Title;Market;Version;OS Type;Currency;Amount;\r\nC;1;Alpha;US;1;PPC;USD;2.99;\r\n"
      "b;Alpha;US;1;SP;???;???;\r\nc;Beta;DE;1;PPC;EUR;1.99;\r\n\r\n");
}

TEST(PeriodSections, DateWindows) {
  // One SKU at 1.00 EUR; YEAR and MONTH rows count their whole window, whatever the range.
  const std::tuple<SectionKind, CivilDate, CivilDate, std::string> cases[] = {
      {SectionKind::Year, {2009, 12, 30}, {2010, 1, 3}, "2009;5;;5.00;;3.50;2010;1;;1.00;;0.70;"},
      {SectionKind::Month, {2009, 3, 1}, {2009, 4, 1}, "200903;3;;3.00;;2.10;"},
      {SectionKind::Month,
       {2009, 12, 31},
       {2010, 1, 2},
       "200912;1;;1.00;;0.70;201001;1;;1.00;;0.70;"},
      {SectionKind::Date,
       {2009, 12, 31},
       {2010, 1, 2},
       "20091231;1;;1.00;;0.70;20100101;1;;1.00;;0.70;"},
      {SectionKind::Date, {2009, 3, 16}, {2009, 3, 15}, ""},
      {SectionKind::Total, {2009, 3, 1}, {2009, 3, 31}, ";2;;2.00;;1.40;"},
  };
  for (const auto& [kind, from, to, rows] : cases) {
    RunState state;
    AddSku(state, "a", "Alpha", "US", true, "EUR", 100);
    state.Currencies.RegisterCurrency("EUR");
    state.Rates.Append("EUR", 1);
    for (CivilDate d : {CivilDate{2009, 1, 1},
                        {2009, 3, 1},
                        {2009, 3, 15},
                        {2009, 3, 31},
                        {2009, 12, 31},
                        {2010, 1, 1},
                        {2011, 4, 1}})
      AddSale(state, "a", d.year, d.month, d.day);
    state.Options = {false, false, false, false, false, false, false, false, "EUR"};
    state.RangeStart = EncodeDate(from.year, from.month, from.day);
    state.RangeEnd = EncodeDate(to.year, to.month, to.day);
    WritePeriodSection(state, kind);
    std::string text = state.Output.text();
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 2);
    EXPECT_EQ(text, rows) << rows;
  }
}

TEST(PeriodSections, ShareAndRowFaults) {
  const std::pair<int64_t, int64_t> shares[] = {
      {5, 4},
      {15, 10},
      {25, 18},
      {35, 24},
      {-15, -10},
      {-5, -4},
      {-25, -18},
      {999, 699},
      {1, 1},
      {-1, -1},
      {2, 1},
      {INT64_MAX, 6456360425798343065},
      {INT64_MIN, -6456360425798343066},
  };
  for (auto [total, share] : shares) EXPECT_EQ(ShareOfTotal(total), share) << total;
  EXPECT_EQ(FormatCents(-5) + FormatCents(INT64_MIN), "-0.05-92233720368547758.08");

  // A zero rate stops inside the row; a row total beyond 64 bits is an error, not a wrap.
  RunState zero = Example();
  zero.Rates.Append("USD", 0);
  zero.Options.ShowHeaders = false;
  EXPECT_EQ(testing::ErrorOf([&] { WritePeriodSection(zero, SectionKind::Total); }),
            "EZeroDivide: Floating point division by zero");
  EXPECT_EQ(zero.Output.text(), ";2;1;3;;1;1;;1.99;8.97;");
  RunState big;
  for (const char* code : {"AAA", "BBB", "CCC"}) {
    AddSku(big, code, "T", "US", true, code, INT32_MAX);
    big.Currencies.RegisterCurrency(code);
    big.Rates.Append(code, 1.0L / 2147483648.0L);  // each total converts to almost 2^62
    AddSale(big, code, 2009, 3, 15);
  }
  big.Options.ShowHeaders = big.Options.ShowMarkets = false;
  big.RangeStart = EncodeDate(2009, 3, 15);
  big.RangeEnd = big.RangeStart + 1;
  EXPECT_EQ(testing::ErrorOf([&] { WritePeriodSection(big, SectionKind::Total); }),
            "EInvalidOp: Invalid floating point operation");
  EXPECT_EQ(big.Output.text(), ";3;;21474836.47;21474836.47;21474836.47;");
}

}  // namespace
}  // namespace tollwick
