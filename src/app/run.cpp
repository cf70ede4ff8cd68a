#include "app/run.h"

#include <memory>

#include "app/options.h"
#include "app/reporting_range.h"
#include "app/table_warnings.h"
#include "base/target_file.h"
#include "intake/report_tree.h"
#include "intake/table_rows.h"
#include "output/monthly_figures.h"
#include "output/period_sections.h"
#include "output/product_section.h"
#include "page/page_data.h"
#include "page/page_html.h"
#include "rates/prices_and_rates.h"
#include "workbook/workbook_writer.h"

namespace tollwick {

int RunTollwick(const std::vector<std::string>& args, RunState& state) {
  // Without arguments, and for the two words users try first, nothing is read or renamed.
  if (args.empty()) {
    state.Output.Append(UsageText());
  } else if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    state.Output.Append(UsageText());
    state.Output.Append(AddedOptionsText());
  } else if (args.size() == 1 && args[0] == "--version") {
    state.Output.Append("Tollwick v1.0");
    state.Output.EndLine();
  } else {
    const CommandLine line = ReadCommandLine(args, state.Warnings);
    state.Options = line.Options;
    // The workbook's file is made first, so that a path that cannot be written ends the run
    // before any report is read or archive renamed. Unless the run completes, it never takes
    // its name.
    std::unique_ptr<WorkbookWriter> workbook;
    if (line.WorkbookPath)
      workbook = std::make_unique<WorkbookWriter>(*state.Files, *line.WorkbookPath, state.Options);
    // So is the page's, an unnamed file in the target's folder until the run succeeds.
    std::unique_ptr<TargetFile> page;
    if (line.PagePath)
      page = std::make_unique<TargetFile>(*state.Files, *line.PagePath,
                                          std::initializer_list<std::string_view>{".html", ".htm"});
    // A slip in the dates ends the run before anything is read or renamed.
    CheckRangeDates(line.Range, state.Warnings);
    TableRows rows(state.Skus, state.Sales);
    ReadReportTree(*state.Files, rows, state.Warnings);
    if (!LoadPricesAndRates(*state.Files, kPriceFile, kRateFile, state.Skus, state.Currencies,
                            state.Rates, state.Warnings))
      state.MissingRateList = state.Files->WorkingDirectory() + "/" + kRateFile;
    RebaseRates(state.Options.TotalCurrency, state.Rates, !state.Skus.empty());
    state.Skus.SortSkus();
    state.Currencies.SortCurrencies();
    NoteTableWarnings(state.Skus, state.Sales, state.Files->WorkingDirectory(), state.Warnings);
    const ReportingRange range = ResolveReportingRange(line.Range, state.Sales, state.Warnings);
    state.RangeStart = range.Start;
    state.RangeEnd = range.End;
    const ReportOptions& options = state.Options;
    if (options.ShowPrices) {
      WriteProductSection(state.Skus, options, state.Output);
      if (workbook) workbook->WriteProducts(state.Skus);
    }
    if (options.ShowDateTotal || options.ShowDateYear || options.ShowDateMonth ||
        options.ShowDateDay || workbook) {
      // The tables no longer change, so one prepared tally serves every section.
      PeriodTally tally(state.Skus, state.Sales, state.Currencies);
      const PeriodSectionInputs inputs{options, state.Currencies, state.Rates, state.RangeStart,
                                       state.RangeEnd};
      const SectionKind kinds[] = {SectionKind::Total, SectionKind::Year, SectionKind::Month,
                                   SectionKind::Date};
      const bool shown[] = {options.ShowDateTotal, options.ShowDateYear, options.ShowDateMonth,
                            options.ShowDateDay};
      for (size_t i = 0; i < 4; ++i)
        if (shown[i]) WritePeriodSection(kinds[i], tally, inputs, state.Output, workbook.get());
    }
    if (workbook || page) {
      // The workbook's Revenue and Markets sheets and the page draw on the same figures.
      const MonthlyFigures figures(state.Skus, state.Sales, state.Currencies, state.Rates,
                                   state.RangeStart, state.RangeEnd);
      if (workbook) {
        workbook->WriteMoneySheets(figures);
        workbook->WriteCharts(CollectMonthlyChart(figures));
        workbook->Finish();
      }
      if (page) {
        const PageData data =
            BuildPageData(figures, state.Skus, state.Sales, state.Currencies, state.Rates,
                          options.TotalCurrency, state.RangeStart, state.RangeEnd);
        page->Write(PageHtml(data, state.Skus));
      }
    }
    // Standard output is complete before the workbook and the page take their names.
    state.Output.Flush();
    if (workbook) workbook->Commit();
    if (page) page->Commit();
  }
  state.Output.Flush();
  ClearAllTables(state);
  return 0;
}

void NoteErrorCause(ErrorKind kind, std::string_view message, RunState& state) {
  if (kind == ErrorKind::EConvertError && message.starts_with(kNoRateMessage) &&
      !state.MissingRateList.empty())
    state.Warnings.Add(MissingRateListWarning(state.MissingRateList));
}

}  // namespace tollwick
