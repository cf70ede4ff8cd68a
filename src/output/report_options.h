// The switches of the command line that shape the output, with their defaults.
#pragma once

#include <string>

namespace tollwick {

struct ReportOptions {
  bool ShowHeaders = true;            // --headers: a header line at the top of every section
  bool ShowPrices = true;             // --prices: the product section
  bool ShowDateTotal = true;          // --date-total: the TOTAL section
  bool ShowDateYear = true;           // --date-year: the YEAR section
  bool ShowDateMonth = true;          // --date-month: the MONTH section
  bool ShowDateDay = true;            // --date-day: the DATE section
  bool ShowMarkets = true;            // --markets: a column per market line, not only per title
  bool ShowCurrencies = true;         // --currencies: a column per price currency
  std::string TotalCurrency = "EUR";  // --currency-total: the currency of total and share
};

}  // namespace tollwick
