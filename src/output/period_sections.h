// The dated sections TOTAL, YEAR, MONTH and DATE: a header line of column titles and one row
// per date window, with counts per tally line, sums per currency, the sum converted into the
// total currency and the 70 % share of it.
//
// TOTAL has one row for the whole range; YEAR, MONTH and DATE one row per calendar year, month
// and day that the range touches, in increasing order, each counting its whole year, month or
// day. The header's column titles come from the tally lines, which are the same for every
// window.
#pragma once

#include <cstdint>

#include "base/output_sink.h"
#include "output/period_tally.h"
#include "output/report_options.h"
#include "output/section_rows.h"
#include "tables/currency_table.h"
#include "tables/rate_table.h"

namespace tollwick {

// Seven tenths of a row total, rounded to the nearest integer, a half to the even neighbour;
// exact for every 64-bit total.
int64_t ShareOfTotal(int64_t total);

// What the dated sections read besides the tally.
struct PeriodSectionInputs {
  const ReportOptions& options;
  const CurrencyTable& currencies;
  const RateTable& rates;
  double range_start;  // first day reported
  double range_end;    // day after the last day reported
};

// Writes one section. `tally` is prepared once from the sorted tables and shared by the
// sections of a run. When `rows` is given, it receives the section's columns and every row as
// it is written.
void WritePeriodSection(SectionKind kind, PeriodTally& tally, const PeriodSectionInputs& in,
                        OutputSink& out, SectionRows* rows = nullptr);

}  // namespace tollwick
