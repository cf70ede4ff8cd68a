#include "output/period_tally.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/state_builder.h"
#include "support/literal_tally.h"

namespace tollwick {
namespace {

using testing::AddPricedSku;
using testing::AddSaleOn;
using testing::Sku;
using testing::SkuRow;

struct Line {
  std::string name;
  int64_t count;
  bool is_total;
  bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Line& line) {
  return os << '"' << line.name << "\" " << line.count << (line.is_total ? " total" : "");
}

std::vector<Line> Lines(const TallyTable& tally) {
  std::vector<Line> lines;
  for (const RAPPS& r : tally.records()) lines.push_back({r.Name, r.Count, r.IsTotal});
  return lines;
}

std::vector<std::pair<std::string, int64_t>> Totals(const CurrencyTable& currencies) {
  std::vector<std::pair<std::string, int64_t>> totals;
  for (const RCUR& c : currencies.records()) totals.emplace_back(c.Code, c.Total);
  return totals;
}

// Runs the fast and the literal tally on copies of the state and checks they agree.
void ExpectSameTally(const RunState& state, double start, double end) {
  RunState fast = state, slow = state;
  TallyPeriod(fast, start, end);
  literal::TallyPeriod(slow, start, end);
  ASSERT_EQ(Lines(fast.Tally), Lines(slow.Tally)) << "window " << start << " to " << end;
  ASSERT_EQ(Totals(fast.Currencies), Totals(slow.Currencies))
      << "window " << start << " to " << end;
}

TEST(TallyPeriod, WorkedExample) {
  RunState state;
  AddPricedSku(state, {"S1", "Alpha", "DE", "1", true, "EUR", 249});
  AddPricedSku(state, {"S2", "Alpha", "DE", "1", false, "EUR", 249});
  AddPricedSku(state, {"S3", "Alpha", "US", "1", true, "USD", 299});
  AddPricedSku(state, {"S4", "Beta", "US", "1", true, "", 0});
  for (const char* code : {"USD", "EUR", "GBP"}) state.Currencies.RegisterCurrency(code);
  state.Skus.SortSkus();
  state.Currencies.SortCurrencies();
  for (const char* id : {"S1", "S1", "S3", "S4", "S4", "S4"}) AddSaleOn(state, id, 2010, 3, 5);
  AddSaleOn(state, "S2", 2010, 3, 6);  // outside the window
  AddSaleOn(state, "S9", 2010, 3, 5);  // no such SKU

  TallyPeriod(state, EncodeDate(2010, 3, 5), EncodeDate(2010, 3, 6));
  std::vector<Line> expected = {{"DE PPC Alpha", 2, false}, {"DE SP Alpha", 0, false},
                                {"US PPC Alpha", 1, false}, {"TOTAL Alpha", 3, true},
                                {"US PPC Beta", 3, false},  {"TOTAL Beta", 3, true}};
  EXPECT_EQ(Lines(state.Tally), expected);
  std::vector<std::pair<std::string, int64_t>> totals = {{"EUR", 498}, {"GBP", 0}, {"USD", 299}};
  EXPECT_EQ(Totals(state.Currencies), totals);
  ExpectSameTally(state, EncodeDate(2010, 3, 5), EncodeDate(2010, 3, 6));
}

// Line layouts that follow from the order of the SKUs alone.
TEST(TallyPeriod, LineLayouts) {
  struct Case {
    const char* what;
    std::vector<SkuRow> skus;
    std::vector<Line> lines;
  };
  const std::vector<Case> cases = {
      {"empty SKU table", {}, {{"", 0, false}, {"TOTAL ", 0, true}}},
      {"two versions share a line",
       {Sku("a", "Alpha", "DE", "1"), Sku("b", "Alpha", "DE", "2")},
       {{"DE PPC Alpha", 0, false}, {"TOTAL Alpha", 0, true}}},
      {"repeated key not adjacent",
       {Sku("a", "Alpha", "DE", "1", true), Sku("b", "Alpha", "DE", "1", false),
        Sku("c", "Alpha", "DE", "2", true)},
       {{"DE PPC Alpha", 0, false},
        {"DE SP Alpha", 0, false},
        {"DE PPC Alpha", 0, false},
        {"TOTAL Alpha", 0, true}}},
      {"title split by a longer title",
       {Sku("a", "Chess", "AT", "1"), Sku("b", "Chess", "US", "1"),
        Sku("c", "ChessMaster", "DE", "1")},
       {{"AT PPC Chess", 0, false},
        {"TOTAL Chess", 0, true},
        {"DE PPC ChessMaster", 0, false},
        {"TOTAL ChessMaster", 0, true},
        {"US PPC Chess", 0, false},
        {"TOTAL Chess", 0, true}}},
      {"empty title first",
       {Sku("a", "", "DE", "1"), Sku("b", "Zeta", "DE", "1")},
       {{"DE PPC ", 0, false},
        {"TOTAL ", 0, true},
        {"DE PPC Zeta", 0, false},
        {"TOTAL Zeta", 0, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunState state;
    for (const SkuRow& row : c.skus) AddPricedSku(state, row);
    state.Skus.SortSkus();
    TallyPeriod(state, 0, 100000);
    EXPECT_EQ(Lines(state.Tally), c.lines);
    ExpectSameTally(state, 0, 100000);
  }
}

// The title is only looked at when the key changes, so equal keys of different titles (a
// market holding a blank) stay on one line and one title.
TEST(TallyPeriod, EqualKeysOfDifferentTitles) {
  RunState state;
  AddPricedSku(state, {"a", "SP X", "US", "1", true, "EUR", 5});
  AddPricedSku(state, {"b", "X", "US PPC", "1", false, "EUR", 7});  // key "US PPC SP X" too
  state.Currencies.RegisterCurrency("EUR");
  AddSaleOn(state, "a", 2010, 1, 1);
  AddSaleOn(state, "b", 2010, 1, 1);
  TallyPeriod(state, EncodeDate(2010, 1, 1), EncodeDate(2010, 1, 2));
  std::vector<Line> expected = {{"US PPC SP X", 2, false}, {"TOTAL SP X", 2, true}};
  EXPECT_EQ(Lines(state.Tally), expected);
  EXPECT_EQ(state.Currencies[0].Total, 12);
}

TEST(TallyPeriod, WindowBoundsAndRefill) {
  RunState state;
  AddPricedSku(state, {"a", "Alpha", "US", "1", true, "USD", 100});
  state.Currencies.RegisterCurrency("USD");
  AddSaleOn(state, "a", 2010, 3, 1);   // the window's first day
  AddSaleOn(state, "a", 2010, 3, 31);  // its last day
  AddSaleOn(state, "a", 2010, 4, 1);   // its end, outside
  AddSaleOn(state, "a", 2010, 2, 28);  // before it
  TallyPeriod(state, EncodeDate(2010, 3, 1), EncodeDate(2010, 4, 1));
  EXPECT_EQ(state.Tally[0].Count, 2);
  EXPECT_EQ(state.Currencies[0].Total, 200);
  // A later window starts from nothing.
  TallyPeriod(state, EncodeDate(2011, 1, 1), EncodeDate(2012, 1, 1));
  EXPECT_EQ(state.Tally[0].Count, 0);
  EXPECT_EQ(state.Currencies[0].Total, 0);
  // A start after the end holds nothing.
  TallyPeriod(state, EncodeDate(2010, 4, 1), EncodeDate(2010, 3, 1));
  EXPECT_EQ(state.Tally[1].Count, 0);
}

TEST(TallyPeriod, MatchesLiteralOnRandomTables) {
  std::mt19937 rng(20100305);
  const double first = EncodeDate(2009, 11, 1);
  for (int round = 0; round < 1500; ++round) {
    RunState state = testing::RandomState(rng);
    for (int w = 0; w < 6; ++w) {
      double start = first + std::uniform_int_distribution<int>(-3, 125)(rng);
      double end = start + std::uniform_int_distribution<int>(-2, 40)(rng);
      ExpectSameTally(state, start, end);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace tollwick
