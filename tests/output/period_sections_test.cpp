#include "output/period_sections.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "output/format.h"
#include "output/state_builder.h"
#include "support/literal_tally.h"
#include "tables/errors.h"

namespace tollwick {
namespace {

using testing::AddPricedSku;
using testing::AddSaleOn;
using testing::SetRange;

// The lines joined with CR LF, each one ended.
std::string Text(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// Writes the enabled sections in the run's order and gives the output.
std::string WriteSections(RunState& state) {
  const ReportOptions& o = state.Options;
  if (o.ShowPrices) WriteProductSection(state);
  if (o.ShowDateTotal) WritePeriodSection(state, SectionKind::Total);
  if (o.ShowDateYear) WritePeriodSection(state, SectionKind::Year);
  if (o.ShowDateMonth) WritePeriodSection(state, SectionKind::Month);
  if (o.ShowDateDay) WritePeriodSection(state, SectionKind::Date);
  return state.Output.text();
}

void OnlySections(ReportOptions& o, bool total, bool year, bool month, bool day) {
  o.ShowPrices = false;
  o.ShowDateTotal = total;
  o.ShowDateYear = year;
  o.ShowDateMonth = month;
  o.ShowDateDay = day;
}

// Tally lines US PPC Alpha 2, US SP Alpha 1, TOTAL Alpha 3, DE PPC Beta 1, TOTAL Beta 1 on
// 15 March 2009; EUR 1.99 and USD 8.97, which convert to 1.99 and 6.00 EUR.
RunState WorkedExample() {
  RunState state;
  AddPricedSku(state, {"a", "Alpha", "US", "1", true, "USD", 299});
  AddPricedSku(state, {"b", "Alpha", "US", "1", false, "USD", 299});
  AddPricedSku(state, {"c", "Beta", "DE", "1", true, "EUR", 199});
  state.Currencies.RegisterCurrency("USD");
  state.Currencies.RegisterCurrency("EUR");
  state.Rates.Append("EUR", 1);
  state.Rates.Append("USD", 1.495L);
  state.Skus.SortSkus();
  state.Currencies.SortCurrencies();
  for (const char* id : {"a", "a", "b", "c"}) AddSaleOn(state, id, 2009, 3, 15);
  SetRange(state, 2009, 3, 15, 2009, 3, 16);
  return state;
}

TEST(PeriodSections, WorkedTotalSection) {
  struct Case {
    bool markets, currencies;
    std::string header, row;
  };
  const std::vector<Case> cases = {
      {true, true,
       "TOTAL;US PPC Alpha;US SP Alpha;TOTAL Alpha;;DE PPC Beta;TOTAL Beta;;EUR;USD;;TOTAL "
       "EUR;;SHARE EUR;",
       ";2;1;3;;1;1;;1.99;8.97;;7.99;;5.59;"},
      {false, true, "TOTAL;Alpha;Beta;;EUR;USD;;TOTAL EUR;;SHARE EUR;",
       ";3;1;;1.99;8.97;;7.99;;5.59;"},
      {false, false, "TOTAL;Alpha;Beta;;TOTAL EUR;;SHARE EUR;", ";3;1;;7.99;;5.59;"},
      {true, false,
       "TOTAL;US PPC Alpha;US SP Alpha;TOTAL Alpha;;DE PPC Beta;TOTAL Beta;;TOTAL EUR;;SHARE "
       "EUR;",
       ";2;1;3;;1;1;;7.99;;5.59;"},
  };
  for (const Case& c : cases) {
    RunState state = WorkedExample();
    state.Options.ShowMarkets = c.markets;
    state.Options.ShowCurrencies = c.currencies;
    WritePeriodSection(state, SectionKind::Total);
    EXPECT_EQ(state.Output.text(), Text({c.header, c.row, ""}));
  }
  RunState state = WorkedExample();
  WritePeriodSection(state, SectionKind::Year);
  EXPECT_EQ(state.Output.text(),
            Text({"YEAR;US PPC Alpha;US SP Alpha;TOTAL Alpha;;DE PPC Beta;TOTAL Beta;;EUR;USD;;"
                  "TOTAL EUR;;SHARE EUR;",
                  "2009;2;1;3;;1;1;;1.99;8.97;;7.99;;5.59;", ""}));
}

// One SKU, one sale on 15 March 2009, --all: the range is that one day.
RunState WholeRunExample() {
  RunState state;
  AddPricedSku(state, {"A-100", "Alpha", "US", "1.0", true, "USD", 299});
  state.Currencies.RegisterCurrency("USD");
  state.Rates.Append("USD", 1.495L);
  state.Skus.SortSkus();
  state.Currencies.SortCurrencies();
  AddSaleOn(state, "A-100", 2009, 3, 15);
  SetRange(state, 2009, 3, 15, 2009, 3, 16);
  return state;
}

TEST(PeriodSections, WholeRun) {
  RunState state = WholeRunExample();
  EXPECT_EQ(
      WriteSections(state),
      Text({"SKUID;Title;Market;Version;OS Type;Currency;Amount;",
            "A-100;Alpha;US;1.0;PPC;USD;2.99;", "",
            "TOTAL;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;", ";1;1;;2.99;;2.00;;1.40;",
            "", "YEAR;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;",
            "2009;1;1;;2.99;;2.00;;1.40;", "",
            "MONTH;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;",
            "200903;1;1;;2.99;;2.00;;1.40;", "",
            "DATE;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;",
            "20090315;1;1;;2.99;;2.00;;1.40;", ""}));
}

TEST(PeriodSections, HeadersWithoutTotalSectionListColumns) {
  for (SectionKind kind : {SectionKind::Year, SectionKind::Month, SectionKind::Date}) {
    RunState state = WholeRunExample();
    WritePeriodSection(state, kind);
    std::string text = state.Output.text();
    EXPECT_NE(text.find(";US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;\r\n"),
              std::string::npos)
        << text;
  }
  // Also when no row follows.
  RunState state = WholeRunExample();
  state.RangeStart = state.RangeEnd;
  WritePeriodSection(state, SectionKind::Date);
  EXPECT_EQ(state.Output.text(),
            Text({"DATE;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;", ""}));
}

TEST(PeriodSections, EmptyTablesWithAllRange) {
  RunState state;
  // "--all" over no sales: the range runs from 2100 back to 1998.
  SetRange(state, 2100, 1, 1, 1998, 1, 1);
  EXPECT_EQ(
      WriteSections(state),
      Text({"SKUID;Title;Market;Version;OS Type;Currency;Amount;", "",
            "TOTAL;;TOTAL ;;;TOTAL EUR;;SHARE EUR;", ";0;0;;;0.00;;0.00;", "",
            "YEAR;;TOTAL ;;;TOTAL EUR;;SHARE EUR;", "", "MONTH;;TOTAL ;;;TOTAL EUR;;SHARE EUR;", "",
            "DATE;;TOTAL ;;;TOTAL EUR;;SHARE EUR;", ""}));
}

TEST(PeriodSections, EverySectionOff) {
  RunState state = WorkedExample();
  OnlySections(state.Options, false, false, false, false);
  EXPECT_EQ(WriteSections(state), "");
}

// One SKU at 1.00 EUR; rows without headers, markets or currencies read
// <label>;<title count>;;<total>;;<share>;
RunState OneSku(std::initializer_list<CivilDate> sales) {
  RunState state;
  AddPricedSku(state, {"a", "Alpha", "US", "1", true, "EUR", 100});
  state.Currencies.RegisterCurrency("EUR");
  state.Rates.Append("EUR", 1);
  for (const CivilDate& d : sales) AddSaleOn(state, "a", d.year, d.month, d.day);
  state.Options.ShowHeaders = false;
  state.Options.ShowMarkets = false;
  state.Options.ShowCurrencies = false;
  state.Options.ShowPrices = false;
  return state;
}

TEST(PeriodSections, Windows) {
  struct Case {
    const char* what;
    std::vector<CivilDate> range;  // start, end
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"one day: the year and the month count whole",
       {{2009, 3, 15}, {2009, 3, 16}},
       {";1;;1.00;;0.70;", "", "2009;5;;5.00;;3.50;", "", "200903;3;;3.00;;2.10;", "",
        "20090315;1;;1.00;;0.70;", ""}},
      {"across a new year",
       {{2009, 12, 30}, {2010, 1, 3}},
       {";2;;2.00;;1.40;", "", "2009;5;;5.00;;3.50;", "2010;1;;1.00;;0.70;", "",
        "200912;1;;1.00;;0.70;", "201001;1;;1.00;;0.70;", "", "20091230;0;;0.00;;0.00;",
        "20091231;1;;1.00;;0.70;", "20100101;1;;1.00;;0.70;", "20100102;0;;0.00;;0.00;", ""}},
      {"first and last day of the windows",
       {{2009, 3, 1}, {2009, 4, 1}},
       {";3;;3.00;;2.10;", "", "2009;5;;5.00;;3.50;", "", "200903;3;;3.00;;2.10;", ""}},
      {"start after end", {{2009, 3, 16}, {2009, 3, 15}}, {";0;;0.00;;0.00;", "", "", "", ""}},
      {"start equal to end", {{2009, 3, 15}, {2009, 3, 15}}, {";0;;0.00;;0.00;", "", "", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunState state = OneSku({{2009, 1, 1},
                             {2009, 3, 1},
                             {2009, 3, 15},
                             {2009, 3, 31},
                             {2009, 12, 31},
                             {2010, 1, 1},
                             {2011, 4, 1}});
    SetRange(state, c.range[0].year, c.range[0].month, c.range[0].day, c.range[1].year,
             c.range[1].month, c.range[1].day);
    // The third case has only TOTAL, YEAR and MONTH, to keep it short.
    if (c.lines.size() == 6) state.Options.ShowDateDay = false;
    EXPECT_EQ(WriteSections(state), Text(c.lines));
  }
}

TEST(PeriodSections, ShareOfTotal) {
  const std::vector<std::pair<int64_t, int64_t>> cases = {
      {0, 0},
      {5, 4},
      {15, 10},
      {25, 18},
      {35, 24},
      {105, 74},
      {12345, 8642},
      {999, 699},
      {-15, -10},
      {-5, -4},
      {-25, -18},
      {-999, -699},
      {1, 1},
      {-1, -1},
      {2, 1},
      {INT64_MAX, 6456360425798343065},
      {INT64_MIN, -6456360425798343066},
      {INT64_MAX - 2, 6456360425798343064},
      {INT64_MIN + 5, -6456360425798343062},
  };
  for (auto [total, share] : cases) EXPECT_EQ(ShareOfTotal(total), share) << total;

  for (auto [amount, row] : std::vector<std::pair<int32_t, std::string>>{
           {15, ";1;;0.15;;0.10;"}, {25, ";1;;0.25;;0.18;"}, {-15, ";1;;-0.15;;-0.10;"}}) {
    RunState state = OneSku({{2009, 3, 15}});
    state.Skus[0].Amount = amount;
    SetRange(state, 2009, 3, 15, 2009, 3, 16);
    WritePeriodSection(state, SectionKind::Total);
    EXPECT_EQ(state.Output.text(), Text({row, ""}));
  }
}

TEST(PeriodSections, CurrenciesAndRates) {
  RunState state = WorkedExample();
  state.Currencies.RegisterCurrency("GBP");                           // no rate, no sales
  AddPricedSku(state, {"d", "Gamma", "UK", "1", true, "JPY", 5000});  // JPY not registered
  AddSaleOn(state, "d", 2009, 3, 15);
  state.Skus.SortSkus();
  state.Currencies.SortCurrencies();
  state.Options.TotalCurrency = "USD";
  state.Options.ShowMarkets = false;
  WritePeriodSection(state, SectionKind::Total);
  EXPECT_EQ(state.Output.text(), Text({"TOTAL;Alpha;Beta;Gamma;;EUR;GBP;USD;;TOTAL USD;;SHARE USD;",
                                       ";3;1;1;;1.99;0.00;8.97;;7.99;;5.59;", ""}));
}

TEST(PeriodSections, ZeroRateStopsInsideTheRow) {
  RunState state = WholeRunExample();
  state.Rates.Append("USD", 0);
  state.Options.ShowHeaders = false;
  try {
    WritePeriodSection(state, SectionKind::Total);
    FAIL() << "no error";
  } catch (const TollwickError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::EZeroDivide);
    EXPECT_STREQ(e.what(), "Floating point division by zero");
  }
  EXPECT_EQ(state.Output.text(), ";1;1;;2.99;");

  // A window without sales divides 0 by 0.
  RunState empty = WholeRunExample();
  empty.Rates.Append("USD", 0);
  empty.Options.ShowHeaders = false;
  SetRange(empty, 2009, 3, 16, 2009, 3, 18);
  try {
    WritePeriodSection(empty, SectionKind::Date);
    FAIL() << "no error";
  } catch (const TollwickError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::EInvalidOp);
  }
  EXPECT_EQ(empty.Output.text(), "20090316;0;0;;0.00;");
}

// A row total beyond 64 bits is an error, not a wrapped number.
TEST(PeriodSections, RowTotalOutOfRange) {
  RunState state;
  for (const char* code : {"AAA", "BBB", "CCC"}) {
    AddPricedSku(state, {code, "T", "US", "1", true, code, INT32_MAX});
    state.Currencies.RegisterCurrency(code);
    state.Rates.Append(code, 1.0L / 2147483648.0L);  // each total converts to almost 2^62
    AddSaleOn(state, code, 2009, 3, 15);
  }
  state.Options.ShowHeaders = false;
  state.Options.ShowMarkets = false;
  SetRange(state, 2009, 3, 15, 2009, 3, 16);
  try {
    WritePeriodSection(state, SectionKind::Total);
    FAIL() << "no error";
  } catch (const TollwickError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::EInvalidOp);
  }
  EXPECT_EQ(state.Output.text(), ";3;;21474836.47;21474836.47;21474836.47;");
}

// The sections as the plain algorithm writes them: a full tally per row, every day visited.
namespace plain {

__extension__ typedef __int128 Wide;

int64_t Share(int64_t total) {
  Wide seven = static_cast<Wide>(total) * 7;
  Wide q = seven / 10, r = seven % 10;
  if (r > 5 || (r == 5 && q % 2 != 0)) ++q;
  if (r < -5 || (r == -5 && q % 2 != 0)) --q;
  return static_cast<int64_t>(q);
}

void Header(RunState& s, const char* label) {
  std::string& out = s.Output.buffer();
  out += label;
  for (const RAPPS& line : s.Tally.records()) {
    if (s.Options.ShowMarkets) {
      out += line.Name + ";";
      if (line.IsTotal) out += ";";
    } else if (line.IsTotal) {
      out += line.Name.substr(6) + ";";
    }
  }
  if (!s.Options.ShowMarkets) out += ";";
  if (s.Options.ShowCurrencies) {
    for (const RCUR& c : s.Currencies.records()) out += c.Code + ";";
    out += ";";
  }
  out += "TOTAL " + s.Options.TotalCurrency + ";;SHARE " + s.Options.TotalCurrency + ";\r\n";
}

void Row(RunState& s, const std::string& label) {
  std::string& out = s.Output.buffer();
  out += label;
  for (const RAPPS& line : s.Tally.records()) {
    if (s.Options.ShowMarkets) {
      out += std::to_string(line.Count) + ";";
      if (line.IsTotal) out += ";";
    } else if (line.IsTotal) {
      out += std::to_string(line.Count) + ";";
    }
  }
  if (!s.Options.ShowMarkets) out += ";";
  for (const RCUR& c : s.Currencies.records()) {
    if (s.Options.ShowCurrencies) out += FormatCents(c.Total) + ";";
    s.RowTotal += s.Rates.ConvertToTotal(c.Code, c.Total);
  }
  if (s.Options.ShowCurrencies) out += ";";
  out += FormatCents(s.RowTotal) + ";;" + FormatCents(Share(s.RowTotal)) + ";\r\n";
}

void Section(RunState& s, SectionKind kind) {
  if (kind == SectionKind::Total) {
    literal::TallyPeriod(s, s.RangeStart, s.RangeEnd);
    if (s.Options.ShowHeaders) Header(s, "TOTAL;");
    s.RowTotal = 0;
    Row(s, ";");
    s.Output.EndLine();
    return;
  }
  if (s.Options.ShowHeaders) {
    if (s.Tally.empty()) literal::TallyPeriod(s, s.RangeStart, s.RangeEnd);
    Header(s, kind == SectionKind::Year    ? "YEAR;"
              : kind == SectionKind::Month ? "MONTH;"
                                           : "DATE;");
  }
  double previous = -1e9;
  for (double d = s.RangeStart; d <= s.RangeEnd - 1; ++d) {
    CivilDate date = DecodeDate(d);
    double start = d, end = d + 1;
    if (kind == SectionKind::Year) {
      start = EncodeDate(date.year, 1, 1);
      end = EncodeDate(date.year + 1, 1, 1);
    } else if (kind == SectionKind::Month) {
      start = EncodeDate(date.year, date.month, 1);
      end = date.month == 12 ? EncodeDate(date.year + 1, 1, 1)
                             : EncodeDate(date.year, date.month + 1, 1);
    }
    if (kind != SectionKind::Date) {
      if (start == previous) continue;
      previous = start;
    }
    s.RowTotal = 0;
    literal::TallyPeriod(s, start, end);
    std::string label = PadNumber(date.year, 4);
    if (kind != SectionKind::Year) label += PadNumber(date.month, 2);
    if (kind == SectionKind::Date) label += PadNumber(date.day, 2);
    Row(s, label + ";");
  }
  s.Output.EndLine();
}

}  // namespace plain

TEST(PeriodSections, MatchLiteralOnRandomTables) {
  std::mt19937 rng(15032009);
  auto flag = [&rng] { return std::uniform_int_distribution<int>(0, 1)(rng) == 1; };
  const double first = EncodeDate(2009, 11, 1);
  for (int round = 0; round < 400; ++round) {
    RunState state = testing::RandomState(rng);
    // Zero rates are left to their own test.
    ReportOptions& o = state.Options;
    o.ShowHeaders = flag();
    o.ShowMarkets = flag();
    o.ShowCurrencies = flag();
    o.ShowDateTotal = flag();
    o.ShowDateYear = flag();
    o.ShowDateMonth = flag();
    o.ShowDateDay = flag();
    o.ShowPrices = false;
    state.RangeStart = first + std::uniform_int_distribution<int>(-10, 130)(rng);
    state.RangeEnd = state.RangeStart + std::uniform_int_distribution<int>(-3, 70)(rng);
    RunState slow = state;
    WriteSections(state);
    const std::vector<SectionKind> kinds = {SectionKind::Total, SectionKind::Year,
                                            SectionKind::Month, SectionKind::Date};
    const bool on[] = {o.ShowDateTotal, o.ShowDateYear, o.ShowDateMonth, o.ShowDateDay};
    for (size_t k = 0; k < kinds.size(); ++k)
      if (on[k]) plain::Section(slow, kinds[k]);
    ASSERT_EQ(state.Output.text(), slow.Output.text()) << "round " << round;
    // The tables are left as the last tally left them.
    ASSERT_EQ(state.Tally.size(), slow.Tally.size());
    for (size_t i = 0; i < state.Tally.size(); ++i) {
      EXPECT_EQ(state.Tally[i].Name, slow.Tally[i].Name);
      EXPECT_EQ(state.Tally[i].Count, slow.Tally[i].Count);
    }
    for (size_t i = 0; i < state.Currencies.size(); ++i)
      EXPECT_EQ(state.Currencies[i].Total, slow.Currencies[i].Total);
    EXPECT_EQ(state.RowTotal, slow.RowTotal);
  }
}

}  // namespace
}  // namespace tollwick
