#include "workbook/workbook_writer.h"

#include <xlsxwriter.h>

#include <string_view>
#include <vector>

#include "base/errors.h"
#include "base/file_bytes.h"
#include "base/text.h"
#include "workbook/book.h"
#include "workbook/chart_sheet.h"

namespace tollwick {

namespace {

// `path` itself, once its name is known to end in ".xlsx"; raises EFOpenError naming its
// absolute path when it does not.
const std::string& CheckedName(FileSystem& files, const std::string& path) {
  if (path.size() < 5 || LowerAscii(std::string_view(path).substr(path.size() - 5)) != ".xlsx")
    Raise(ErrorKind::EFOpenError, "Cannot create file \"" + AbsolutePath(files, path) +
                                      "\". The name of a workbook ends in \".xlsx\".");
  return path;
}

}  // namespace

WorkbookWriter::WorkbookWriter(FileSystem& files, const std::string& path,
                               const ReportOptions& options)
    : options_(options), target_(files, CheckedName(files, path), {".xlsx"}) {
  book_ = std::make_unique<Book>(files, target_);
}

WorkbookWriter::~WorkbookWriter() = default;

void WorkbookWriter::WriteProducts(const SkuTable& skus) {
  Book& book = *book_;
  book.AddSheet("Products", 0);
  book.Header(0, {"SKUID", "Title", "Market", "Version", "OS Type", "Currency", "Amount"},
              {16, 32, 10, 10, 10, 10, kNumberWidth});
  lxw_row_t row = 1;
  for (const RSKU& sku : skus) {
    book.Text(row, 0, sku.SkuId);
    book.Text(row, 1, sku.Title);
    book.Text(row, 2, sku.Market);
    book.Text(row, 3, sku.Version);
    book.Text(row, 4, sku.OsType);
    if (sku.Currency.empty()) {
      book.Text(row, 5, "???");
      book.Text(row, 6, "???");
    } else {
      book.Text(row, 5, sku.Currency);
      book.Money(row, 6, sku.Amount);
    }
    ++row;
  }
}

void WorkbookWriter::BeginSection(SectionKind kind, std::span<const TallyLine> lines,
                                  const CurrencyTable& currencies) {
  Book& book = *book_;
  const ReportOptions& options = options_;
  static constexpr const char* kSheets[] = {"Total", "Years", "Months", "Days"};
  static constexpr const char* kLabels[] = {"TOTAL", "YEAR", "MONTH", "DATE"};
  auto k = static_cast<size_t>(kind);
  book.AddSheet(kSheets[k], 1);

  // The columns of the text: an empty one after each title's total (or after the titles),
  // after the currencies, and between total and share. Counted wide, so that a section wider
  // than a sheet fails instead of wrapping around.
  std::vector<Column>& columns = columns_;
  columns.clear();
  size_t col = 1;
  auto add = [&columns, &book](Column::What what, size_t index, size_t at) {
    columns.push_back({what, index, book.ColumnAt(at)});
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    if (options.ShowMarkets) {
      add(Column::Line, i, col++);
      if (lines[i].IsTotal) ++col;
    } else if (lines[i].IsTotal) {
      add(Column::Line, i, col++);
    }
  }
  if (!options.ShowMarkets) ++col;
  if (options.ShowCurrencies) {
    for (size_t i = 0; i < currencies.size(); ++i) add(Column::Currency, i, col++);
    ++col;
  }
  add(Column::Total, 0, col);
  add(Column::Share, 0, col + 2);

  std::vector<std::string> header(columns.back().col + 1);
  std::vector<double> widths(header.size(), kGapWidth);
  header[0] = kLabels[k];
  widths[0] = kLabelWidth;
  for (const Column& column : columns) {
    std::string& text = header[column.col];
    widths[column.col] = kNumberWidth;
    switch (column.what) {
      case Column::Line: {
        // Without market lines the column is the title, without the "TOTAL " in front.
        const TallyLine& line = lines[column.index];
        text = options.ShowMarkets ? line.Name() : std::string(line.Title());
        break;
      }
      case Column::Currency:
        text = currencies[column.index].Code;
        break;
      case Column::Total:
        text = "TOTAL " + options.TotalCurrency;
        break;
      case Column::Share:
        text = "SHARE " + options.TotalCurrency;
        break;
    }
  }
  book.Header(0, header, widths);
  book.next_row = 1;
  book.BeginPackedRows();
}

void WorkbookWriter::Row(SectionKind kind, const PeriodRow& row) {
  Book& book = *book_;
  lxw_row_t at = book.next_row++;
  if (at >= LXW_ROW_MAX) book.Fail(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE);
  std::string& out = book.PackedText();
  SheetRowXml& xml = book.RowXml();
  xml.BeginRow(out, at);
  if (kind == SectionKind::Year) xml.Number(out, 0, row.Date.year, 0);
  if (kind == SectionKind::Month || kind == SectionKind::Date) {
    bool whole_month = kind == SectionKind::Month;
    CivilDate date = whole_month ? CivilDate{row.Date.year, row.Date.month, 1} : row.Date;
    double serial = EncodeDate(date.year, date.month, date.day);
    if (serial >= kFirstSerialDay)
      xml.Number(out, 0, serial, book.StyleOf(whole_month ? book.month() : book.day()));
    else
      xml.Text(out, 0, DateLabel(date, whole_month), 0);
  }
  auto money = [&book, &xml, &out](lxw_col_t col, int64_t cents) {
    xml.Number(out, col, static_cast<double>(cents) / 100, book.StyleOf(book.money()));
  };
  for (const Column& column : columns_) {
    switch (column.what) {
      case Column::Line:
        xml.Number(out, column.col, static_cast<double>(row.Lines[column.index].Count), 0);
        break;
      case Column::Currency:
        money(column.col, row.CurrencySums[column.index]);
        break;
      case Column::Total:
        money(column.col, row.Total);
        break;
      case Column::Share:
        money(column.col, row.Share);
        break;
    }
  }
  xml.EndRow(out);
  book.RowPacked();
}

void WorkbookWriter::WriteMoneySheets(const MonthlyFigures& figures) {
  Book& book = *book_;
  MonthFigures month;
  for (bool markets : {false, true}) {
    book.AddSheet(markets ? "Markets" : "Revenue", 1);
    const std::vector<std::string_view>& names = markets ? figures.Markets() : figures.Titles();
    std::vector<std::string> header{"MONTH"};
    header.insert(header.end(), names.begin(), names.end());
    header.push_back("TOTAL " + options_.TotalCurrency);
    std::vector<double> widths(header.size(), kNumberWidth);
    widths[0] = kLabelWidth;
    book.Header(0, header, widths);
    const lxw_col_t total = book.ColumnAt(names.size() + 1);
    for (size_t m = 0; m < figures.size(); ++m) {
      figures.Compute(m, month);
      auto row = static_cast<lxw_row_t>(m + 1);
      book.Date(row, 0, month.Month, true);
      const std::vector<Figure>& money = markets ? month.MarketMoney : month.TitleMoney;
      for (size_t i = 0; i < money.size(); ++i)
        book.Money(row, static_cast<lxw_col_t>(i + 1), money[i]);
      book.Money(row, total, month.Total);
    }
  }
}

void WorkbookWriter::WriteCharts(const MonthlyChart& chart) {
  WriteChartSheet(*book_, chart, options_.TotalCurrency);
}

void WorkbookWriter::Finish() {
  book_->Close();
  finished_ = true;
}

void WorkbookWriter::Commit() {
  if (!finished_) Finish();
  target_.Commit();
}

}  // namespace tollwick
