#include "app/run.h"

#include "app/options.h"
#include "intake/scan_directory.h"
#include "output/format.h"
#include "output/period_sections.h"
#include "rates/prices_and_rates.h"

namespace tollwick {

int RunTollwick(const std::vector<std::string>& args, RunState& state) {
  // Without arguments, and for the two words users try first, nothing is read or renamed.
  if (args.empty() || (args.size() == 1 && (args[0] == "--help" || args[0] == "-h"))) {
    state.Output.Append(UsageText());
  } else if (args.size() == 1 && args[0] == "--version") {
    state.Output.Append("Tollwick v1.0");
    state.Output.EndLine();
  } else {
    ReadOptions(args, state.Options);
    state.Skus.Clear();
    state.Sales.Clear();
    state.Tally.ClearTally();
    state.Currencies.Clear();
    state.Rates.Clear();
    ScanDirectory(state, "");
    LoadPricesAndRates(state, kPriceFile, kRateFile);
    RebaseRates(state);
    state.Skus.SortSkus();
    state.Currencies.SortCurrencies();
    SetReportingRange(args, state);
    const ReportOptions& options = state.Options;
    if (options.ShowPrices) WriteProductSection(state);
    if (options.ShowDateTotal || options.ShowDateYear || options.ShowDateMonth ||
        options.ShowDateDay) {
      // The tables no longer change, so one prepared tally serves every section.
      PeriodTally tally(state);
      if (options.ShowDateTotal) WritePeriodSection(state, SectionKind::Total, tally);
      if (options.ShowDateYear) WritePeriodSection(state, SectionKind::Year, tally);
      if (options.ShowDateMonth) WritePeriodSection(state, SectionKind::Month, tally);
      if (options.ShowDateDay) WritePeriodSection(state, SectionKind::Date, tally);
    }
  }
  state.Output.Flush();
  ClearAllTables(state);
  return 0;
}

}  // namespace tollwick
