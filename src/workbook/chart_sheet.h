// The "Charts" sheet: the total per month in the total currency as a line, and stacked columns
// of the monthly sales of the best-selling titles and of the money of the titles that brought
// most (at most ten each, as MonthlyChart chose them), one chart below the other; below them,
// the table they draw from. Each chart's title says what it shows. Printed, each chart has a
// page of its own and the table is left out.
#pragma once

#include <string>

#include "output/monthly_figures.h"
#include "workbook/book.h"

namespace tollwick {

void WriteChartSheet(Book& book, const MonthlyChart& chart, const std::string& currency);

}  // namespace tollwick
