// The reporting range: the days from RangeStart up to, not including, RangeEnd, taken from the
// sale table ("--all") or from the DDMMYYYY dates of the command line.
#pragma once

#include <string_view>

#include "app/options.h"
#include "base/warnings.h"
#include "tables/sale_table.h"

namespace tollwick {

struct ReportingRange {
  double Start = 0;  // first day reported
  double End = 0;    // day after the last day reported
};

// Day number of a DDMMYYYY text; characters after the eighth are ignored.
double ReadRangeDate(std::string_view text);

// Without "--all": the start and end date, start first, must read as days. At the first that
// does not, a warning says how the dates are written, and its error (that of ReadRangeDate) is
// raised.
void CheckRangeDates(const RangeWords& words, WarningList& warnings);

// With "--all", from the first sale's day to the day after the last one (2100-01-01 to
// 1998-01-01 without sales, and never ending before 1998); else the two dates. Noted in
// `warnings`: dates that hold no day between them, or days but no purchase of a non-empty sale
// table (with the first and last purchase days).
ReportingRange ResolveReportingRange(const RangeWords& words, const SaleTable& sales,
                                     WarningList& warnings);

}  // namespace tollwick
