// Everything one run works on: the options, the five tables, the reporting range and the
// output. Created empty, filled phase by phase, passed by reference to every step.
#pragma once

#include <cstdint>
#include <string>

#include "tables/money_tables.h"
#include "tables/output_sink.h"
#include "tables/sku_table.h"

namespace tollwick {

struct ReportOptions {
  bool ShowHeaders = true;            // --headers
  bool ShowPrices = true;             // --prices
  bool ShowDateTotal = true;          // --date-total
  bool ShowDateYear = true;           // --date-year
  bool ShowDateMonth = true;          // --date-month
  bool ShowDateDay = true;            // --date-day
  bool ShowMarkets = true;            // --markets
  bool ShowCurrencies = true;         // --currencies
  std::string TotalCurrency = "EUR";  // --currency-total
};

struct RunState {
  explicit RunState(int output_fd = OutputSink::kMemory) : Output(output_fd) {}

  ReportOptions Options;
  SkuTable Skus;
  SaleTable Sales;
  CurrencyTable Currencies;
  RateTable Rates;
  TallyTable Tally;
  double RangeStart = 0;  // first day reported
  double RangeEnd = 0;    // day after the last day reported
  int64_t RowTotal = 0;   // converted total of the row being written
  OutputSink Output;
};

// Empties TotalCurrency and the rate, currency, tally, sale and SKU tables.
void ClearAllTables(RunState& state);

}  // namespace tollwick
