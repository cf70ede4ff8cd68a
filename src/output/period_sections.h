// The dated sections TOTAL, YEAR, MONTH and DATE: a header line of column titles and one row
// per date window, with counts per tally line, sums per currency, the sum converted into the
// total currency and the 70 % share of it.
#pragma once

#include <cstdint>

#include "tables/run_state.h"

namespace tollwick {

enum class SectionKind { Total, Year, Month, Date };

// Seven tenths of a row total, rounded to the nearest integer, a half to the even neighbour;
// exact for every 64-bit total.
int64_t ShareOfTotal(int64_t total);

// Writes one section for the range RangeStart (inclusive) to RangeEnd (exclusive).
void WritePeriodSection(RunState& state, SectionKind kind);

}  // namespace tollwick
