#include "output/workbook_writer.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <xlsxwriter.h>
#include <xlsxwriter/third_party/zip.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "base/file_bytes.h"
#include "base/text.h"
#include "output/format.h"
#include "output/row_packer.h"
#include "output/sheet_row_xml.h"
#include "output/sheet_splice.h"

namespace tollwick {

namespace {

// The first day a spreadsheet's date serial shows correctly: below it, its calendar counts
// a 29 February 1900 that never was.
constexpr double kFirstSerialDay = 61;
// Column widths, in characters of the default font.
constexpr double kLabelWidth = 11;   // a date, a year, a month
constexpr double kNumberWidth = 12;  // counts and money
constexpr double kGapWidth = 3;      // the empty columns between groups
constexpr double kWidestColumn = 16;
constexpr double kRowHeight = 15;  // points, of one line of text
constexpr size_t kMostHeaderLines = 6;
// zlib's level for every part of the workbook (see zipOpenNewFileInZip4_64 at the end).
constexpr int kPackingLevel = 2;

// `text` as UTF-8 for the workbook: valid UTF-8 sequences of characters that XML holds stay,
// any other byte becomes the Latin-1 character of its code, and NUL, which no workbook holds,
// becomes U+FFFD. Cut to the 32767 characters a cell holds.
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
      // No overlong forms, no surrogates, nothing above U+10FFFF, and not U+FFFE or U+FFFF.
      if ((byte == 0xE0 && second < 0xA0) || (byte == 0xED && second > 0x9F) ||
          (byte == 0xF0 && second < 0x90) || (byte == 0xF4 && second > 0x8F) ||
          (byte == 0xEF && second == 0xBF &&
           (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE))
        valid = false;
    }
    if (byte == 0) {
      out.append("\xEF\xBF\xBD");
      ++i;
    } else if (valid) {
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

// The characters of a text made by CellText.
size_t CharacterCount(std::string_view utf8) {
  return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string MonthLabel(const CivilDate& month) {
  std::string label;
  AppendPadded(label, month.year, 4);
  label += '-';
  AppendPadded(label, month.month, 2);
  return label;
}

// The text of standard output for a day or month that a date serial cannot show.
std::string DateLabel(const CivilDate& date, bool whole_month) {
  std::string label;
  AppendPadded(label, date.year, 4);
  AppendPadded(label, date.month, 2);
  if (!whole_month) AppendPadded(label, date.day, 2);
  return label;
}

bool EndsWithXlsx(std::string_view path) {
  return path.size() >= 5 && LowerAscii(path.substr(path.size() - 5)) == ".xlsx";
}

[[noreturn]] void RaiseCreateError(const std::string& path, std::string_view reason) {
  Raise(ErrorKind::EFOpenError, "Cannot create file \"" + path + "\". " + std::string(reason));
}

// The file an absolute `path` names: at the end of its chain of symbolic links, each link's
// relative target taken from the link's folder; in its folder's own absolute path when that
// folder exists.
std::string FollowLinks(std::string path) {
  for (int links = 0;; ++links) {
    struct stat entry {};
    if (::lstat(path.c_str(), &entry) != 0 || !S_ISLNK(entry.st_mode)) {
      size_t slash = path.rfind('/');
      std::unique_ptr<char, decltype(&std::free)> folder(
          ::realpath(path.substr(0, slash + 1).c_str(), nullptr), &std::free);
      if (folder == nullptr) return path;
      std::string resolved = folder.get();
      return resolved + (resolved.back() == '/' ? "" : "/") + path.substr(slash + 1);
    }
    if (links == 40) RaiseCreateError(path, SystemErrorText(ELOOP));
    std::string target(PATH_MAX, '\0');
    ssize_t size = ::readlink(path.c_str(), target.data(), target.size());
    if (size < 0 || static_cast<size_t>(size) == target.size())
      RaiseCreateError(path, SystemErrorText(size < 0 ? errno : ENAMETOOLONG));
    target.resize(static_cast<size_t>(size));
    if (!target.empty() && target.front() == '/') {
      path = std::move(target);
    } else {
      path.resize(path.rfind('/') + 1);
      path += target;
    }
  }
}

// Why a part of the library's file `fd` may have been cut short when its writing left no errno:
// EFBIG when the process has a file size limit, ENOSPC when the file system of the workbook or
// of the library's temporary files (/tmp) is full; else 0.
int LikelyWriteError(int fd) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return EFBIG;
  struct statvfs space {};
  if ((::fstatvfs(fd, &space) == 0 && space.f_bavail == 0) ||
      (::statvfs("/tmp", &space) == 0 && space.f_bavail == 0))
    return ENOSPC;
  return 0;
}

// The temporary file that SIGINT, SIGTERM and SIGHUP remove before they end the process. The
// path is written only while those signals are blocked and the handler is not armed.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
char g_temporary_path[PATH_MAX];
volatile sig_atomic_t g_temporary_armed = 0;
struct sigaction g_previous_actions[std::size(kEndingSignals)];
bool g_handlers_installed[std::size(kEndingSignals)] = {};

// Async-signal-safe: removes the file, then raises the signal again with its default action,
// so that it ends the process as it would have (once this handler returns and unblocks it).
extern "C" void RemoveTemporaryAndEnd(int signal) {
  if (g_temporary_armed != 0) ::unlink(g_temporary_path);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Blocks the ending signals for its lifetime.
class EndingSignalsBlocked {
 public:
  EndingSignalsBlocked() {
    sigset_t block;
    sigemptyset(&block);
    for (int signal : kEndingSignals) sigaddset(&block, signal);
    pthread_sigmask(SIG_BLOCK, &block, &previous_);
  }
  ~EndingSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
  EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

 private:
  sigset_t previous_{};
};

}  // namespace

int WorkbookWriter::TemporaryFile::Create(std::string name, mode_t mode) {
  EndingSignalsBlocked blocked;
  int fd = ::mkstemp(name.data());
  if (fd < 0) return errno;
  path_ = std::move(name);
  ::fchmod(fd, mode);
  ::close(fd);
  if (path_.size() >= sizeof g_temporary_path) return 0;  // too long to be named by the system
  std::memcpy(g_temporary_path, path_.c_str(), path_.size() + 1);
  g_temporary_armed = 1;
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = RemoveTemporaryAndEnd;
    sigemptyset(&action.sa_mask);
    // A signal ignored from the start (a background job's SIGINT, nohup's SIGHUP) stays so.
    if (::sigaction(kEndingSignals[i], nullptr, &g_previous_actions[i]) == 0 &&
        g_previous_actions[i].sa_handler != SIG_IGN)
      g_handlers_installed[i] = ::sigaction(kEndingSignals[i], &action, nullptr) == 0;
  }
  return 0;
}

void WorkbookWriter::TemporaryFile::Release() {
  g_temporary_armed = 0;
  for (size_t i = 0; i < std::size(kEndingSignals); ++i)
    if (g_handlers_installed[i]) {
      ::sigaction(kEndingSignals[i], &g_previous_actions[i], nullptr);
      g_handlers_installed[i] = false;
    }
  path_.clear();
}

WorkbookWriter::TemporaryFile::~TemporaryFile() {
  if (path_.empty()) return;
  ::unlink(path_.c_str());
  Release();
}

// The open workbook, its formats and the sheet being written.
class WorkbookWriter::Book {
 public:
  Book(const std::string& path, const std::string& temporary, const ReportOptions& options)
      : path_(path),
        temporary_(temporary),
        options_(options),
        packer_(path.substr(0, path.rfind('/') + 1), path, kPackingLevel) {
    lxw_workbook_options settings{};
    settings.constant_memory = LXW_TRUE;
    workbook_ = workbook_new_opt(temporary.c_str(), &settings);
    if (workbook_ == nullptr) Fail(LXW_ERROR_MEMORY_MALLOC_FAILED);
    header_ = workbook_add_format(workbook_);
    format_set_bold(header_);
    format_set_text_wrap(header_);
    format_set_align(header_, LXW_ALIGN_VERTICAL_TOP);
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
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  void Close() {
    EndPackedRows();
    // The library does not check its writes of the rows into each sheet's temporary file, so
    // a full disk or a file size limit would give a workbook cut short.
    for (lxw_worksheet* sheet : sheets_) {
      errno = 0;
      if (sheet->optimize_tmpfile != nullptr &&
          (std::fflush(sheet->optimize_tmpfile) != 0 || std::ferror(sheet->optimize_tmpfile)))
        Fail(SystemErrorText(errno != 0 ? errno : EIO));
    }
    errno = 0;
    lxw_error error = workbook_close(workbook_);
    const int library_error = errno;
    workbook_ = nullptr;
    if (error != LXW_NO_ERROR) Fail(error);
    // Every part is checked, since the library does not check its writes.
    const FileDescriptor file(::open(temporary_.c_str(), O_RDWR | O_CLOEXEC));
    if (file.get() < 0) Fail(SystemErrorText(errno));
    SpliceSheetRows(file.get(), packer_.fd(), packed_sheets_, path_, kPackingLevel,
                    library_error != 0 ? library_error : LikelyWriteError(file.get()));
  }

  // The rows of a dated sheet: its cells as XML, packed apart and put into the sheet when the
  // workbook is complete (see SpliceSheetRows), where the library would format every cell with
  // printf on its own. The sheet being written takes them from BeginPackedRows() until the next
  // sheet begins.
  void BeginPackedRows() { packing_ = true; }
  std::string& PackedText() { return packer_.text(); }
  SheetRowXml& RowXml() { return row_xml_; }
  void RowPacked() { packer_.Pass(); }
  int32_t StyleOf(lxw_format* format) { return lxw_format_get_xf_index(format); }

  // Starts a sheet, set up to print landscape, one page wide, with its name and the page
  // number at the foot. A table sheet's first row is its header, frozen with `frozen_columns`
  // kept in view, and printed on every page with the first column; the chart sheet passes
  // kNoFreeze.
  static constexpr lxw_col_t kNoFreeze = LXW_COL_MAX;
  void AddSheet(const char* name, lxw_col_t frozen_columns) {
    EndPackedRows();
    sheet_name_ = name;
    errno = 0;
    sheet_ = workbook_add_worksheet(workbook_, name);
    if (sheet_ == nullptr) Fail(LXW_ERROR_CREATING_TMPFILE);
    sheets_.push_back(sheet_);
    worksheet_set_landscape(sheet_);
    worksheet_fit_to_pages(sheet_, 1, 0);
    Check(worksheet_set_footer(sheet_, "&L&A&RPage &P of &N"));
    if (frozen_columns == kNoFreeze) return;
    worksheet_freeze_panes(sheet_, 1, frozen_columns);
    Check(worksheet_repeat_rows(sheet_, 0, 0));
    Check(worksheet_repeat_columns(sheet_, 0, 0));
  }

  // The column of position `at` in the sheet being written; raises when the sheet has none.
  lxw_col_t ColumnAt(size_t at) {
    if (at >= LXW_COL_MAX) Fail(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE);
    return static_cast<lxw_col_t>(at);
  }

  // A header row at `row`: texts[c] in column c (none where empty), bold. With `widths`, each
  // column c gets the width its text needs, at least widths[c] and at most kWidestColumn
  // (unless widths[c] is more), and a text longer than that is wrapped in a row made high
  // enough for it. Gives the widths set.
  std::vector<double> Header(lxw_row_t row, const std::vector<std::string>& texts,
                             std::vector<double> widths = {}) {
    size_t lines = 1;
    std::vector<std::string> cells(texts.size());
    for (size_t c = 0; c < texts.size(); ++c) {
      cells[c] = CellText(texts[c]);
      if (widths.empty()) continue;
      auto characters = static_cast<double>(CharacterCount(cells[c]));
      widths[c] = std::clamp(characters + 2, widths[c], std::max(widths[c], kWidestColumn));
      lines = std::max(lines, static_cast<size_t>(characters / (widths[c] - 1.5)) + 1);
      Check(worksheet_set_column(sheet_, ColumnAt(c), ColumnAt(c), widths[c], nullptr));
    }
    if (lines > 1) {
      double height = kRowHeight * static_cast<double>(std::min(lines, kMostHeaderLines));
      Check(worksheet_set_row(sheet_, row, height, nullptr));
    }
    for (size_t c = 0; c < cells.size(); ++c)
      if (!cells[c].empty())
        Check(worksheet_write_string(sheet_, row, ColumnAt(c), cells[c].c_str(), header_));
    return widths;
  }

  void Text(lxw_row_t row, lxw_col_t col, std::string_view text) {
    if (!text.empty())
      Check(worksheet_write_string(sheet_, row, col, CellText(text).c_str(), nullptr));
  }
  void Integer(lxw_row_t row, lxw_col_t col, int64_t value) {
    Check(worksheet_write_number(sheet_, row, col, static_cast<double>(value), nullptr));
  }
  void Money(lxw_row_t row, lxw_col_t col, int64_t cents) {
    Check(worksheet_write_number(sheet_, row, col, static_cast<double>(cents) / 100, money_));
  }
  // Money that may be unknown: an unknown figure leaves the cell empty.
  void Money(lxw_row_t row, lxw_col_t col, const Figure& cents) {
    if (cents) Money(row, col, *cents);
  }
  // A date cell for the first day of a month (`whole_month`) or a day. Days the date serial
  // cannot show keep the text of standard output.
  void Date(lxw_row_t row, lxw_col_t col, const CivilDate& date, bool whole_month) {
    double serial = EncodeDate(date.year, date.month, date.day);
    if (serial >= kFirstSerialDay) {
      Check(worksheet_write_number(sheet_, row, col, serial, whole_month ? month_ : day_));
      return;
    }
    Text(row, col, DateLabel(date, whole_month));
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
  const ReportOptions& options() const { return options_; }
  lxw_format* money() { return money_; }
  lxw_format* day() { return day_; }
  lxw_format* month() { return month_; }

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
      reason += ": " + SystemErrorText(errno);
    Fail(reason);
  }
  [[noreturn]] void Fail(const std::string& reason) {
    Raise(ErrorKind::EInOutError, "Cannot write file \"" + path_ + "\". " + reason);
  }

 private:
  // Ends the packed rows of the sheet being written: the library is told the rows it holds,
  // for the sheet's dimension.
  void EndPackedRows() {
    if (!packing_) return;
    packing_ = false;
    if (next_row <= 1) return;
    packed_sheets_.push_back(
        {"xl/worksheets/sheet" + std::to_string(sheets_.size()) + ".xml", packer_.EndPart()});
    sheet_->dim_rowmax = std::max(sheet_->dim_rowmax, next_row - 1);
  }

  const std::string& path_;
  const std::string& temporary_;
  const ReportOptions& options_;
  RowPacker packer_;
  SheetRowXml row_xml_;
  bool packing_ = false;
  std::vector<SheetRows> packed_sheets_;
  lxw_workbook* workbook_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  std::vector<lxw_worksheet*> sheets_;
  std::string sheet_name_;
  lxw_format* header_ = nullptr;
  lxw_format* money_ = nullptr;
  lxw_format* day_ = nullptr;
  lxw_format* month_ = nullptr;
};

WorkbookWriter::WorkbookWriter(const std::string& path, const ReportOptions& options) {
  std::string named = AbsolutePath(path);
  if (!EndsWithXlsx(named)) RaiseCreateError(named, "The name of a workbook ends in \".xlsx\".");
  // A link is kept: the file it points to is the one written.
  path_ = FollowLinks(named);
  struct stat existing {};
  bool exists = ::stat(path_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) RaiseCreateError(path_, SystemErrorText(EISDIR));
  if (exists && !S_ISREG(existing.st_mode)) RaiseCreateError(path_, "Not a regular file");
  if (exists && ::access(path_.c_str(), W_OK) != 0) RaiseCreateError(path_, SystemErrorText(errno));

  // A hidden name in the same directory, so that the rename stays on one file system and the
  // directory walk passes the file by.
  // It gets the permissions a new file gets, or those of the file it replaces.
  size_t slash = path_.rfind('/');
  mode_t mask = ::umask(0);
  ::umask(mask);
  if (int error =
          temporary_.Create(path_.substr(0, slash + 1) + "." + path_.substr(slash + 1) + ".XXXXXX",
                            exists ? existing.st_mode & 07777 : 0666 & ~mask))
    RaiseCreateError(path_, SystemErrorText(error));
  book_ = std::make_unique<Book>(path_, temporary_.path(), options);
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
  const ReportOptions& options = book.options();
  static constexpr const char* kSheets[] = {"Total", "Years", "Months", "Days"};
  static constexpr const char* kLabels[] = {"TOTAL", "YEAR", "MONTH", "DATE"};
  auto k = static_cast<size_t>(kind);
  book.AddSheet(kSheets[k], 1);

  // The columns of the text: an empty one after each title's total (or after the titles),
  // after the currencies, and between total and share. Counted wide, so that a section wider
  // than a sheet fails instead of wrapping around.
  using Column = Book::Column;
  std::vector<Column>& columns = book.columns;
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
  for (const Book::Column& column : book.columns) {
    switch (column.what) {
      case Book::Column::Line:
        xml.Number(out, column.col, static_cast<double>(row.Lines[column.index].Count), 0);
        break;
      case Book::Column::Currency:
        money(column.col, row.Currencies[column.index].Total);
        break;
      case Book::Column::Total:
        money(column.col, row.Total);
        break;
      case Book::Column::Share:
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
    header.push_back("TOTAL " + book.options().TotalCurrency);
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
  Book& book = *book_;
  const std::string& currency = book.options().TotalCurrency;
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
    place(sales, "Sales per month of the ten best-selling titles", false, true);
  }
  if (!chart.MoneySeries.empty()) {
    lxw_chart* money = workbook_add_chart(book.workbook(), LXW_CHART_COLUMN_STACKED);
    for (size_t s = 0; s < chart.MoneySeries.size(); ++s)
      add_series(money, book.ColumnAt(money_at + s));
    place(money, "Money per month of the ten titles that brought most, in " + currency, true, true);
  }
}

void WorkbookWriter::Finish() {
  book_->Close();
  finished_ = true;
}

void WorkbookWriter::Commit() {
  if (!finished_) Finish();
  // The data reaches the disk before the name does, so a crash cannot leave an empty FILE.
  int fd = ::open(temporary_.path().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  if (::rename(temporary_.path().c_str(), path_.c_str()) != 0)
    Raise(ErrorKind::EInOutError, "Cannot write file \"" + path_ + "\". " + SystemErrorText(errno));
  temporary_.Release();
}

}  // namespace tollwick

// libxlsxwriter packs every part of the workbook with zlib's default level (6) and has no
// setting for it. For ten years of days, packing took a third of the workbook's time; level 2
// takes a third of that for a file a fifth larger (13.4 MB against 11.0 MB; level 1 was no
// faster and larger). So the program defines the one minizip call that the library makes to
// open each part: the library's call comes here (the program's definition comes first), which
// changes the default level only and hands on to minizip's own definition, the next one of the
// name. Where a library does not call minizip this way, nothing changes.
extern "C" int zipOpenNewFileInZip4_64(zipFile file, const char* filename,
                                       const zip_fileinfo* zipfi, const void* extrafield_local,
                                       uInt size_extrafield_local, const void* extrafield_global,
                                       uInt size_extrafield_global, const char* comment, int method,
                                       int level, int raw, int windowBits, int memLevel,
                                       int strategy, const char* password, uLong crcForCrypting,
                                       uLong versionMadeBy, uLong flagBase, int zip64) {
  using Open = decltype(&zipOpenNewFileInZip4_64);
  static const auto minizip_open =
      reinterpret_cast<Open>(::dlsym(RTLD_NEXT, "zipOpenNewFileInZip4_64"));
  if (minizip_open == nullptr) return ZIP_INTERNALERROR;
  if (method == Z_DEFLATED && level == Z_DEFAULT_COMPRESSION) level = tollwick::kPackingLevel;
  return minizip_open(file, filename, zipfi, extrafield_local, size_extrafield_local,
                      extrafield_global, size_extrafield_global, comment, method, level, raw,
                      windowBits, memLevel, strategy, password, crcForCrypting, versionMadeBy,
                      flagBase, zip64);
}
