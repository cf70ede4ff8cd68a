// Everything one run works on: the file system, the options, the four tables, the reporting
// range, the output and the warnings. Created empty, filled phase by phase; each phase is handed
// the parts it needs.
#pragma once

#include "base/file_system.h"
#include "base/output_sink.h"
#include "base/warnings.h"
#include "output/report_options.h"
#include "tables/currency_table.h"
#include "tables/rate_table.h"
#include "tables/sale_table.h"
#include "tables/sku_table.h"

namespace tollwick {

struct RunState {
  explicit RunState(int output_fd = OutputSink::kMemory) : Output(output_fd) {}

  FileSystem* Files = &SystemFileSystem();  // every file the run reads or renames

  ReportOptions Options;
  SkuTable Skus;
  SaleTable Sales;
  CurrencyTable Currencies;
  RateTable Rates;
  double RangeStart = 0;  // first day reported
  double RangeEnd = 0;    // day after the last day reported
  OutputSink Output;
  WarningList Warnings;  // written to standard error when the run ends
  // The rate list's absolute path when the run looked for it and found none.
  std::string MissingRateList;
};

// Empties TotalCurrency and releases the rate, currency, sale and SKU tables.
void ClearAllTables(RunState& state);

}  // namespace tollwick
