#include "workbook/chart_sheet.h"

#include <cmath>
#include <string>
#include <vector>

#include "output/format.h"
#include "workbook/cell_text.h"

namespace tollwick {

namespace {

std::string MonthLabel(const CivilDate& month) {
  std::string label;
  AppendPadded(label, month.year, 4);
  label += '-';
  AppendPadded(label, month.month, 2);
  return label;
}

// "the ten <what>s" for a full chart of ten series, else "the <what>s" (or "the <what>" for
// one): a chart says "ten" only where it shows ten.
std::string Counted(size_t series, const std::string& what) {
  if (series == kChartTitles) return "the ten " + what + "s";
  return "the " + what + (series == 1 ? "" : "s");
}

}  // namespace

void WriteChartSheet(Book& book, const MonthlyChart& chart, const std::string& currency) {
  book.AddSheet("Charts", Book::kNoFreeze);
  // Three charts, one below the other, then the table they draw from: the month as text (so
  // that every month, also a single one, is labelled as itself), the total, the sales series,
  // an empty column and the money series, each group under a caption.
  constexpr lxw_row_t kChartRows[] = {1, 18, 35};
  constexpr lxw_row_t kCaptionRow = 53, kTop = kCaptionRow + 1;
  constexpr double kChartPixels = 8 + 2.0 * 480;  // offset and width
  const auto sales_at = static_cast<lxw_col_t>(2);
  const lxw_col_t money_at = book.ColumnAt(3 + chart.SalesSeries.size());
  std::vector<std::string> caption(money_at + 1), header{"MONTH", "TOTAL " + currency};
  caption[sales_at] = "Sales";
  caption[money_at] = "Money in " + currency;
  header.insert(header.end(), chart.SalesSeries.begin(), chart.SalesSeries.end());
  header.emplace_back();
  header.insert(header.end(), chart.MoneySeries.begin(), chart.MoneySeries.end());
  std::vector<double> widths(header.size(), kNumberWidth);
  widths[0] = kLabelWidth;
  widths[money_at - 1] = kGapWidth;
  book.Header(kCaptionRow, caption);
  widths = book.Header(kTop, header, widths);
  for (size_t m = 0; m < chart.Months.size(); ++m) {
    auto row = static_cast<lxw_row_t>(kTop + 1 + m);
    book.Text(row, 0, MonthLabel(chart.Months[m]));
    book.Money(row, 1, chart.Totals[m]);
    for (size_t s = 0; s < chart.Sales[m].size(); ++s)
      book.Integer(row, static_cast<lxw_col_t>(sales_at + s), chart.Sales[m][s]);
    for (size_t s = 0; s < chart.MoneyOf[m].size(); ++s)
      book.Money(row, book.ColumnAt(money_at + s), chart.MoneyOf[m][s]);
  }
  if (chart.Months.empty()) return;
  // Printed, the charts fill one page; the table is left out.
  lxw_col_t right = 0;
  for (double pixels = 0; pixels < kChartPixels; ++right) {
    double width = right < widths.size() ? widths[right] : LXW_DEF_COL_WIDTH;
    pixels += std::floor(width * 7 + 0.5) + 5;  // a column's pixels in the default font
  }
  book.Check(worksheet_print_area(book.sheet(), 0, 0, kCaptionRow - 1, right - 1));
  worksheet_fit_to_pages(book.sheet(), 1, 1);

  const auto last = static_cast<lxw_row_t>(kTop + chart.Months.size());
  // Adds a series of column `col` of the table, named by its header.
  auto add_series = [&](lxw_chart* drawn, lxw_col_t col) {
    lxw_chart_series* series = chart_add_series(drawn, nullptr, nullptr);
    chart_series_set_categories(series, "Charts", kTop + 1, 0, last, 0);
    chart_series_set_values(series, "Charts", kTop + 1, col, last, col);
    chart_series_set_name_range(series, "Charts", kTop, col);
    return series;
  };
  // Titles the chart and its axes, gives it a legend when it has series of titles, and puts
  // it in its place.
  const std::string money_axis = CellText(currency);
  size_t placed = 0;
  auto place = [&](lxw_chart* drawn, const std::string& title, bool money, bool legend) {
    const std::string name = CellText(title);
    chart_title_set_name(drawn, name.c_str());
    chart_axis_set_name(drawn->x_axis, "Month");
    chart_axis_set_name(drawn->y_axis, money ? money_axis.c_str() : "Sales");
    chart_axis_set_num_format(drawn->y_axis, "#,##0");
    chart_legend_set_position(drawn, legend ? LXW_CHART_LEGEND_RIGHT : LXW_CHART_LEGEND_NONE);
    lxw_chart_options placing{};
    placing.x_offset = 8;
    placing.x_scale = 2.0;
    placing.y_scale = 1.1;
    book.Check(worksheet_insert_chart_opt(book.sheet(), kChartRows[placed++], 0, drawn, &placing));
  };

  lxw_chart* line = workbook_add_chart(book.workbook(), LXW_CHART_LINE);
  lxw_chart_series* totals = add_series(line, 1);
  chart_series_set_marker_type(totals, LXW_CHART_MARKER_CIRCLE);
  chart_series_set_marker_size(totals, 7);
  place(line, "Total per month in " + currency, true, false);
  if (!chart.SalesSeries.empty()) {
    lxw_chart* sales = workbook_add_chart(book.workbook(), LXW_CHART_COLUMN_STACKED);
    for (size_t s = 0; s < chart.SalesSeries.size(); ++s)
      add_series(sales, static_cast<lxw_col_t>(sales_at + s));
    place(sales, "Sales per month of " + Counted(chart.SalesSeries.size(), "best-selling title"),
          false, true);
  }
  if (!chart.MoneySeries.empty()) {
    lxw_chart* money = workbook_add_chart(book.workbook(), LXW_CHART_COLUMN_STACKED);
    for (size_t s = 0; s < chart.MoneySeries.size(); ++s)
      add_series(money, book.ColumnAt(money_at + s));
    place(money,
          "Money per month of " + Counted(chart.MoneySeries.size(), "title") +
              " that brought most, in " + currency,
          true, true);
  }
}

}  // namespace tollwick
