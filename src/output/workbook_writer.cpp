#include "output/workbook_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "base/file_bytes.h"
#include "base/text.h"
#include "output/format.h"

namespace tollwick {

namespace {

constexpr lxw_row_t kChartDataRow = 42;  // the chart sheet's table, below its two charts
// The first day a spreadsheet's date serial shows correctly: below it, its calendar counts
// a 29 February 1900 that never was.
constexpr double kFirstSerialDay = 61;

// `text` as UTF-8 for the workbook: valid UTF-8 sequences stay, any other byte becomes the
// Latin-1 character of its code. Cut to the 32767 characters a cell holds.
std::string CellText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t characters = 0;
  for (size_t i = 0; i < text.size() && characters < 32767; ++characters) {
    auto byte = static_cast<unsigned char>(text[i]);
    size_t length = byte < 0x80                    ? 1
                    : byte >= 0xC2 && byte <= 0xDF ? 2
                    : byte >= 0xE0 && byte <= 0xEF ? 3
                    : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                   : 0;
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k)
      valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (valid && length >= 3) {
      auto second = static_cast<unsigned char>(text[i + 1]);
      // No overlong forms, no surrogates, nothing above U+10FFFF.
      if ((byte == 0xE0 && second < 0xA0) || (byte == 0xED && second > 0x9F) ||
          (byte == 0xF0 && second < 0x90) || (byte == 0xF4 && second > 0x8F))
        valid = false;
    }
    if (valid) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
      ++i;
    }
  }
  return out;
}

bool EndsWithXlsx(std::string_view path) {
  return path.size() >= 5 && LowerAscii(path.substr(path.size() - 5)) == ".xlsx";
}

[[noreturn]] void RaiseCreateError(const std::string& path, std::string_view reason) {
  Raise(ErrorKind::EFOpenError, "Cannot create file \"" + path + "\". " + std::string(reason));
}

}  // namespace

// The open workbook, its formats and the sheet being written.
class WorkbookWriter::Book {
 public:
  Book(const std::string& path, const std::string& temporary, const ReportOptions& options)
      : path_(path), options_(options) {
    lxw_workbook_options settings{};
    settings.constant_memory = LXW_TRUE;
    workbook_ = workbook_new_opt(temporary.c_str(), &settings);
    if (workbook_ == nullptr) Fail(LXW_ERROR_MEMORY_MALLOC_FAILED);
    bold_ = workbook_add_format(workbook_);
    format_set_bold(bold_);
    money_ = workbook_add_format(workbook_);
    format_set_num_format(money_, "#,##0.00");
    day_ = workbook_add_format(workbook_);
    format_set_num_format(day_, "yyyy-mm-dd");
    month_ = workbook_add_format(workbook_);
    format_set_num_format(month_, "yyyy-mm");
  }
  ~Book() {
    if (workbook_ != nullptr) lxw_workbook_free(workbook_);
  }

  void Close() {
    errno = 0;
    lxw_error error = workbook_close(workbook_);
    workbook_ = nullptr;
    if (error != LXW_NO_ERROR) Fail(error);
  }

  // Starts a sheet. A section's first row is its header, frozen, with `frozen_columns` kept in
  // view; the chart sheet freezes nothing (kNoFreeze).
  static constexpr lxw_col_t kNoFreeze = LXW_COL_MAX;
  void AddSheet(const char* name, lxw_col_t frozen_columns) {
    sheet_name_ = name;
    errno = 0;
    sheet_ = workbook_add_worksheet(workbook_, name);
    if (sheet_ == nullptr) Fail(LXW_ERROR_CREATING_TMPFILE);
    if (frozen_columns != kNoFreeze) worksheet_freeze_panes(sheet_, 1, frozen_columns);
  }
  void Widths(lxw_col_t first, lxw_col_t last, double width) {
    if (first <= last) worksheet_set_column(sheet_, first, last, width, nullptr);
  }

  void Text(lxw_row_t row, lxw_col_t col, std::string_view text, lxw_format* format = nullptr) {
    if (!text.empty())
      Check(worksheet_write_string(sheet_, row, col, CellText(text).c_str(), format));
  }
  void Integer(lxw_row_t row, lxw_col_t col, int64_t value) {
    Check(worksheet_write_number(sheet_, row, col, static_cast<double>(value), nullptr));
  }
  void Money(lxw_row_t row, lxw_col_t col, int64_t cents) {
    Check(worksheet_write_number(sheet_, row, col, static_cast<double>(cents) / 100, money_));
  }
  // A date cell for the first day of a month (`whole_month`) or a day. Days the date serial
  // cannot show keep the text of standard output.
  void Date(lxw_row_t row, lxw_col_t col, const CivilDate& date, bool whole_month) {
    double serial = EncodeDate(date.year, date.month, date.day);
    if (serial >= kFirstSerialDay) {
      Check(worksheet_write_number(sheet_, row, col, serial, whole_month ? month_ : day_));
      return;
    }
    std::string label;
    AppendPadded(label, date.year, 4);
    AppendPadded(label, date.month, 2);
    if (!whole_month) AppendPadded(label, date.day, 2);
    Text(row, col, label);
  }

  // The columns of the dated section being written, and its next row.
  struct Column {
    enum What { Line, Currency, Total, Share } what;
    size_t index;  // of the tally line or currency
    lxw_col_t col;
  };
  std::vector<Column> columns;
  lxw_row_t next_row = 1;

  lxw_workbook* workbook() { return workbook_; }
  lxw_worksheet* sheet() { return sheet_; }
  lxw_format* bold() { return bold_; }
  const ReportOptions& options() const { return options_; }

  void Check(lxw_error error) {
    if (error != LXW_NO_ERROR) Fail(error);
  }
  [[noreturn]] void Fail(lxw_error error) {
    std::string reason = error == LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE
                             ? "The sheet \"" + sheet_name_ +
                                   "\" needs more than the 1048576 rows or 16384 columns a "
                                   "sheet can hold"
                             : std::string(lxw_strerror(error));
    // The system's reason, when the library failed on a file.
    if ((error == LXW_ERROR_CREATING_XLSX_FILE || error == LXW_ERROR_CREATING_TMPFILE) &&
        errno != 0)
      reason += ": " + std::string(std::strerror(errno));
    Raise(ErrorKind::EInOutError, "Cannot write file \"" + path_ + "\". " + reason);
  }

 private:
  const std::string& path_;
  const ReportOptions& options_;
  lxw_workbook* workbook_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  std::string sheet_name_;
  lxw_format* bold_ = nullptr;
  lxw_format* money_ = nullptr;
  lxw_format* day_ = nullptr;
  lxw_format* month_ = nullptr;
};

WorkbookWriter::WorkbookWriter(const std::string& path, const ReportOptions& options)
    : path_(AbsolutePath(path)) {
  if (!EndsWithXlsx(path_)) RaiseCreateError(path_, "The name of a workbook ends in \".xlsx\".");
  struct stat existing {};
  bool exists = ::stat(path_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) RaiseCreateError(path_, std::strerror(EISDIR));
  if (exists && ::access(path_.c_str(), W_OK) != 0) RaiseCreateError(path_, std::strerror(errno));

  // A hidden name in the same directory, so that the rename stays on one file system and the
  // directory walk passes the file by.
  size_t slash = path_.rfind('/');
  std::string name = path_.substr(0, slash + 1) + "." + path_.substr(slash + 1) + ".XXXXXX";
  int fd = ::mkstemp(name.data());
  if (fd < 0) RaiseCreateError(path_, std::strerror(errno));
  temporary_.path = name;
  // The permissions a new file gets, or those of the file it replaces.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, exists ? existing.st_mode & 07777 : 0666 & ~mask);
  ::close(fd);
  book_ = std::make_unique<Book>(path_, temporary_.path, options);
}

WorkbookWriter::~WorkbookWriter() = default;

WorkbookWriter::TemporaryFile::~TemporaryFile() {
  if (!path.empty()) ::unlink(path.c_str());
}

void WorkbookWriter::WriteProducts(const SkuTable& skus) {
  Book& book = *book_;
  book.AddSheet("Products", 0);
  static constexpr const char* kHeader[] = {"SKUID",   "Title",    "Market", "Version",
                                            "OS Type", "Currency", "Amount"};
  for (lxw_col_t col = 0; col < 7; ++col) book.Text(0, col, kHeader[col], book.bold());
  book.Widths(0, 0, 16);
  book.Widths(1, 1, 32);
  book.Widths(2, 6, 10);
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
  const ReportOptions& options = book.options();
  static constexpr const char* kSheets[] = {"Total", "Years", "Months", "Days"};
  static constexpr const char* kLabels[] = {"TOTAL", "YEAR", "MONTH", "DATE"};
  auto k = static_cast<size_t>(kind);
  book.AddSheet(kSheets[k], 1);
  book.Text(0, 0, kLabels[k], book.bold());

  // The columns of the text: an empty one after each title's total (or after the titles),
  // after the currencies, and between total and share.
  using Column = Book::Column;
  std::vector<Column>& columns = book.columns;
  columns.clear();
  size_t col = 1;
  // Counted wide, so that a section wider than a sheet fails instead of wrapping around.
  auto add = [&columns, &book](Column::What what, size_t index, size_t at) {
    if (at > LXW_COL_MAX - 1) book.Fail(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE);
    columns.push_back({what, index, static_cast<lxw_col_t>(at)});
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

  for (const Column& column : columns) {
    switch (column.what) {
      case Column::Line: {
        // Without market lines the column is the title, without the "TOTAL " in front.
        const TallyLine& line = lines[column.index];
        book.Text(0, column.col, options.ShowMarkets ? line.Name() : std::string(line.Title()),
                  book.bold());
        break;
      }
      case Column::Currency:
        book.Text(0, column.col, currencies[column.index].Code, book.bold());
        break;
      case Column::Total:
        book.Text(0, column.col, "TOTAL " + options.TotalCurrency, book.bold());
        break;
      case Column::Share:
        book.Text(0, column.col, "SHARE " + options.TotalCurrency, book.bold());
        break;
    }
  }
  book.Widths(0, 0, 11);
  book.Widths(1, columns.back().col, 14);
  book.next_row = 1;
}

void WorkbookWriter::Row(SectionKind kind, const PeriodRow& row) {
  Book& book = *book_;
  lxw_row_t at = book.next_row++;
  if (kind == SectionKind::Year) book.Integer(at, 0, row.Date.year);
  if (kind == SectionKind::Month) book.Date(at, 0, {row.Date.year, row.Date.month, 1}, true);
  if (kind == SectionKind::Date) book.Date(at, 0, row.Date, false);
  for (const Book::Column& column : book.columns) {
    switch (column.what) {
      case Book::Column::Line:
        book.Integer(at, column.col, row.Lines[column.index].Count);
        break;
      case Book::Column::Currency:
        book.Money(at, column.col, row.Currencies[column.index].Total);
        break;
      case Book::Column::Total:
        book.Money(at, column.col, row.Total);
        break;
      case Book::Column::Share:
        book.Money(at, column.col, row.Share);
        break;
    }
  }
}

void WorkbookWriter::WriteCharts(const MonthlyChart& chart) {
  Book& book = *book_;
  const std::string& currency = book.options().TotalCurrency;
  book.AddSheet("Charts", Book::kNoFreeze);
  worksheet_set_landscape(book.sheet());
  worksheet_fit_to_pages(book.sheet(), 1, 0);
  // The table the charts draw from, below them: month, total, then one column per series.
  const lxw_row_t top = kChartDataRow;
  book.Text(top, 0, "MONTH", book.bold());
  book.Text(top, 1, "TOTAL " + currency, book.bold());
  for (size_t s = 0; s < chart.Series.size(); ++s)
    book.Text(top, static_cast<lxw_col_t>(2 + s), chart.Series[s], book.bold());
  book.Widths(0, 0, 11);
  book.Widths(1, static_cast<lxw_col_t>(1 + chart.Series.size()), 14);
  for (size_t m = 0; m < chart.Months.size(); ++m) {
    auto row = static_cast<lxw_row_t>(top + 1 + m);
    book.Date(row, 0, chart.Months[m], true);
    book.Money(row, 1, chart.Totals[m]);
    for (size_t s = 0; s < chart.Counts[m].size(); ++s)
      book.Integer(row, static_cast<lxw_col_t>(2 + s), chart.Counts[m][s]);
  }
  if (chart.Months.empty()) return;

  const auto last = static_cast<lxw_row_t>(top + chart.Months.size());
  const std::string month_axis = "Month";
  auto place = [&](lxw_chart* drawn, lxw_row_t row) {
    chart_axis_set_name(drawn->x_axis, month_axis.c_str());
    chart_axis_set_num_format(drawn->x_axis, "yyyy-mm");
    lxw_chart_options placing{};
    placing.x_offset = 8;
    placing.x_scale = 2.0;
    placing.y_scale = 1.35;
    book.Check(worksheet_insert_chart_opt(book.sheet(), row, 0, drawn, &placing));
  };

  lxw_chart* line = workbook_add_chart(book.workbook(), LXW_CHART_LINE);
  lxw_chart_series* totals = chart_add_series(line, nullptr, nullptr);
  chart_series_set_categories(totals, "Charts", top + 1, 0, last, 0);
  chart_series_set_values(totals, "Charts", top + 1, 1, last, 1);
  chart_series_set_name_range(totals, "Charts", top, 1);
  std::string line_title = CellText("Total per month in " + currency);
  chart_title_set_name(line, line_title.c_str());
  std::string money_axis = CellText(currency);
  chart_axis_set_name(line->y_axis, money_axis.c_str());
  chart_axis_set_num_format(line->y_axis, "#,##0.00");
  chart_legend_set_position(line, LXW_CHART_LEGEND_NONE);
  place(line, 1);

  if (chart.Series.empty()) return;
  lxw_chart* columns = workbook_add_chart(book.workbook(), LXW_CHART_COLUMN_STACKED);
  for (size_t s = 0; s < chart.Series.size(); ++s) {
    auto col = static_cast<lxw_col_t>(2 + s);
    lxw_chart_series* series = chart_add_series(columns, nullptr, nullptr);
    chart_series_set_categories(series, "Charts", top + 1, 0, last, 0);
    chart_series_set_values(series, "Charts", top + 1, col, last, col);
    chart_series_set_name_range(series, "Charts", top, col);
  }
  chart_title_set_name(columns, "Sales per month of the ten best-selling titles");
  chart_axis_set_name(columns->y_axis, "Sales");
  chart_legend_set_position(columns, LXW_CHART_LEGEND_RIGHT);
  place(columns, 22);
}

void WorkbookWriter::Finish() {
  book_->Close();
  finished_ = true;
}

void WorkbookWriter::Commit() {
  if (!finished_) Finish();
  // The data reaches the disk before the name does, so a crash cannot leave an empty FILE.
  int fd = ::open(temporary_.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  if (::rename(temporary_.path.c_str(), path_.c_str()) != 0)
    Raise(ErrorKind::EInOutError,
          "Cannot write file \"" + path_ + "\". " + std::string(std::strerror(errno)));
  temporary_.path.clear();
}

}  // namespace tollwick
