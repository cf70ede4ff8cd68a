// One DATE section over ten years of days, with 1,000 SKUs and 1,000,000 sales, written into
// a memory sink. The sales table is filled directly so only the section is measured.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "app/run_state.h"
#include "base/day_number.h"
#include "output/period_sections.h"
#include "output/period_tally.h"

namespace tollwick {
namespace {

// prefix + decimal number, built by appending (the operator+ form trips a false warning of
// the optimiser).
std::string Numbered(const char* prefix, int n) {
  std::string text(prefix);
  text += std::to_string(n);
  return text;
}

RunState& TenYears() {
  static RunState* state = [] {
    auto* s = new RunState();
    std::mt19937 rng(42);
    const char* currencies[] = {"EUR", "USD", "GBP", "JPY"};
    const char* markets[] = {"US", "DE", "UK", "JP", "FR"};
    for (int i = 0; i < 1000; ++i) {
      std::string id = Numbered("SKU", i);
      s->Skus.AddSku(id, Numbered("Title ", i / 10), std::to_string(i % 2 + 1),
                     i % 3 == 0 ? "PPC" : "SP", markets[i % 5]);
      s->Skus.SetPrice(s->Skus.Find(id), currencies[i % 4], 99 + i);
    }
    for (const char* code : currencies) s->Currencies.RegisterCurrency(code);
    s->Rates.Append("EUR", 1);
    s->Rates.Append("USD", 1.3L);
    s->Rates.Append("GBP", 0.85L);
    s->Rates.Append("JPY", 130);
    s->Skus.SortSkus();
    s->Currencies.SortCurrencies();
    s->RangeStart = EncodeDate(2005, 1, 1);
    s->RangeEnd = EncodeDate(2015, 1, 1);
    std::uniform_int_distribution<int> day(0, static_cast<int>(s->RangeEnd - s->RangeStart) - 1);
    std::uniform_int_distribution<int> sku(0, 999);
    for (int i = 0; i < 1000000; ++i) {
      s->Sales.AddSale(Numbered("SKU", sku(rng)), Numbered("P", i), s->RangeStart + day(rng));
    }
    return s;
  }();
  return *state;
}

void BM_DateSection(benchmark::State& bench) {
  RunState& state = TenYears();
  size_t bytes = 0;
  for (auto _ : bench) {
    state.Output.buffer().clear();
    PeriodTally tally(state.Skus, state.Sales, state.Currencies);
    WritePeriodSection(
        SectionKind::Date, tally,
        {state.Options, state.Currencies, state.Rates, state.RangeStart, state.RangeEnd},
        state.Output);
    bytes = state.Output.text().size();
    benchmark::DoNotOptimize(state.Output.text().data());
  }
  bench.counters["output_MB"] = static_cast<double>(bytes) / 1e6;
  bench.counters["rows"] = state.RangeEnd - state.RangeStart;
}
BENCHMARK(BM_DateSection)->Unit(benchmark::kMillisecond);

void BM_TallyPeriodOneDay(benchmark::State& bench) {
  RunState& state = TenYears();
  PeriodTally tally(state.Skus, state.Sales, state.Currencies);
  for (auto _ : bench) tally.TallyPeriod(state.RangeStart, state.RangeStart + 1);
}
BENCHMARK(BM_TallyPeriodOneDay)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tollwick
