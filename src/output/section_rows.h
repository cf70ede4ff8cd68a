// The rows of the dated sections as values rather than text, for a second output format. The
// section writer hands every row it writes to a SectionRows, so both formats show the same
// counts, sums, totals and shares.
#pragma once

#include <cstdint>
#include <span>

#include "base/day_number.h"
#include "output/period_tally.h"
#include "tables/currency_table.h"

namespace tollwick {

enum class SectionKind { Total, Year, Month, Date };

// One row: the window's first day (not used for TOTAL), the tally lines with their counts,
// the currencies with their sums (hundredths, in the same order), the total converted into the
// total currency, and its share.
struct PeriodRow {
  CivilDate Date;
  std::span<const TallyLine> Lines;
  const CurrencyTable& Currencies;
  std::span<const int64_t> CurrencySums;
  int64_t Total = 0;
  int64_t Share = 0;
};

class SectionRows {
 public:
  virtual ~SectionRows() = default;
  // Called once before the rows of a section, whether or not the text shows its header; the
  // line names and currency codes are those of every row of the section.
  virtual void BeginSection(SectionKind kind, std::span<const TallyLine> lines,
                            const CurrencyTable& currencies) = 0;
  virtual void Row(SectionKind kind, const PeriodRow& row) = 0;
};

}  // namespace tollwick
