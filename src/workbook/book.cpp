#include "workbook/book.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "base/errors.h"
#include "base/file_bytes.h"
#include "base/text.h"
#include "output/format.h"
#include "workbook/cell_text.h"

namespace tollwick {

namespace {

constexpr double kWidestColumn = 16;
constexpr double kRowHeight = 15;  // points, of one line of text
constexpr size_t kMostHeaderLines = 6;
// zlib's level for the dated rows and the text of their sheets: level 2 packs in a third of
// the time of the default level, for a file a fifth larger.
constexpr int kPackingLevel = 2;
// The width a landscape page prints, in pixels of the default font's columns: the 9.6 inches
// of a letter page between the default margins (an A4 page has more).
constexpr double kPagePixels = 9.6 * 96;
// A sheet at most this much wider than a page is shrunk to fit its width; text stays above
// 8 points then. A wider one prints at full size, across pages.
constexpr double kMostShrink = 1.25;

// Why a part of the library's file `fd` may have been cut short when its writing left no errno:
// EFBIG when the process has a file size limit, ENOSPC when the file system of the workbook or
// of the library's temporary files (/tmp) is full; else 0.
int LikelyWriteError(FileSystem& files, int fd) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return EFBIG;
  struct statvfs space {};
  if ((files.SpaceStat(fd, "", space) == 0 && space.f_bavail == 0) ||
      (files.SpaceStat(-1, "/tmp", space) == 0 && space.f_bavail == 0))
    return ENOSPC;
  return 0;
}

// Standard error on /dev/null for its lifetime: the library reports a failed write there in
// words of its own, naming the file by the path it opened, before the run reports it.
class QuietStandardError {
 public:
  explicit QuietStandardError(FileSystem& files)
      : saved_(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1)) {
    const FileDescriptor null(MoveAboveStandard(files.OpenAt(AT_FDCWD, "/dev/null", O_WRONLY)));
    if (saved_ >= 0 && null.get() >= 0) quiet_ = ::dup2(null.get(), STDERR_FILENO) >= 0;
  }
  ~QuietStandardError() {
    if (quiet_) ::dup2(saved_, STDERR_FILENO);
    if (saved_ >= 0) ::close(saved_);
  }
  QuietStandardError(const QuietStandardError&) = delete;
  QuietStandardError& operator=(const QuietStandardError&) = delete;

 private:
  int saved_;
  bool quiet_ = false;
};

}  // namespace

std::string DateLabel(const CivilDate& date, bool whole_month) {
  std::string label;
  AppendPadded(label, date.year, 4);
  AppendPadded(label, date.month, 2);
  if (!whole_month) AppendPadded(label, date.day, 2);
  return label;
}

Book::Book(FileSystem& files, TargetFile& target)
    : files_(files),
      target_(target),
      path_(target.target()),
      packer_(files, target.folder_fd(), target.target(), kPackingLevel) {
  lxw_workbook_options settings{};
  settings.constant_memory = LXW_TRUE;
  // The library opens its file by name when it closes the workbook: the unnamed file's.
  const std::string reopen = target.ReopenPath();
  workbook_ = workbook_new_opt(reopen.c_str(), &settings);
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

Book::~Book() {
  if (workbook_ != nullptr) lxw_workbook_free(workbook_);
}

void Book::Close() {
  EndPackedRows();
  lxw_error error;
  int library_error;
  {
    QuietStandardError quiet(files_);
    errno = 0;
    error = workbook_close(workbook_);
    library_error = errno;
  }
  errno = library_error;
  workbook_ = nullptr;
  if (error != LXW_NO_ERROR) Fail(error);
  SpliceSheetRows(files_, target_.fd(), packer_.fd(), packed_sheets_, path_, kPackingLevel,
                  library_error != 0 ? library_error : LikelyWriteError(files_, target_.fd()));
}

void Book::AddSheet(const char* name, lxw_col_t frozen_columns) {
  EndPackedRows();
  sheet_name_ = name;
  errno = 0;
  sheet_ = workbook_add_worksheet(workbook_, name);
  if (sheet_ == nullptr) Fail(LXW_ERROR_CREATING_TMPFILE);
  worksheet_set_landscape(sheet_);
  Check(worksheet_set_footer(sheet_, "&L&A&RPage &P of &N"));
  if (frozen_columns == kNoFreeze) return;
  worksheet_freeze_panes(sheet_, 1, frozen_columns);
  Check(worksheet_repeat_rows(sheet_, 0, 0));
  Check(worksheet_repeat_columns(sheet_, 0, 0));
}

lxw_col_t Book::ColumnAt(size_t at) {
  if (at >= LXW_COL_MAX) Fail(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE);
  return static_cast<lxw_col_t>(at);
}

std::vector<double> Book::Header(lxw_row_t row, const std::vector<std::string>& texts,
                                 std::vector<double> widths) {
  size_t lines = 1;
  double pixels = 0;
  std::vector<std::string> cells(texts.size());
  for (size_t c = 0; c < texts.size(); ++c) {
    cells[c] = CellText(texts[c]);
    if (widths.empty()) continue;
    auto characters = static_cast<double>(CharacterCount(cells[c]));
    widths[c] = std::clamp(characters + 2, widths[c], std::max(widths[c], kWidestColumn));
    lines = std::max(lines, static_cast<size_t>(characters / (widths[c] - 1.5)) + 1);
    pixels += std::floor(widths[c] * 7 + 0.5) + 5;  // a column's pixels in the default font
    Check(worksheet_set_column(sheet_, ColumnAt(c), ColumnAt(c), widths[c], nullptr));
  }
  if (lines > 1) {
    double height = kRowHeight * static_cast<double>(std::min(lines, kMostHeaderLines));
    Check(worksheet_set_row(sheet_, row, height, nullptr));
  }
  if (pixels > 0 && pixels <= kPagePixels * kMostShrink) worksheet_fit_to_pages(sheet_, 1, 0);
  for (size_t c = 0; c < cells.size(); ++c)
    if (!cells[c].empty())
      Check(worksheet_write_string(sheet_, row, ColumnAt(c), cells[c].c_str(), header_));
  return widths;
}

void Book::Text(lxw_row_t row, lxw_col_t col, std::string_view text) {
  if (!text.empty())
    Check(worksheet_write_string(sheet_, row, col, CellText(text).c_str(), nullptr));
}

void Book::Integer(lxw_row_t row, lxw_col_t col, int64_t value) {
  Check(worksheet_write_number(sheet_, row, col, static_cast<double>(value), nullptr));
}

void Book::Money(lxw_row_t row, lxw_col_t col, int64_t cents) {
  Check(worksheet_write_number(sheet_, row, col, static_cast<double>(cents) / 100, money_));
}

void Book::Money(lxw_row_t row, lxw_col_t col, const Figure& cents) {
  if (cents) Money(row, col, *cents);
}

void Book::Date(lxw_row_t row, lxw_col_t col, const CivilDate& date, bool whole_month) {
  double serial = EncodeDate(date.year, date.month, date.day);
  if (serial >= kFirstSerialDay) {
    Check(worksheet_write_number(sheet_, row, col, serial, whole_month ? month_ : day_));
    return;
  }
  Text(row, col, DateLabel(date, whole_month));
}

void Book::Fail(lxw_error error) {
  const int err = errno;
  // In the writing of the zip file the system's reason is all the reason there is ("File too
  // large", "No space left on device").
  if (err != 0 && error >= LXW_ERROR_ZIP_FILE_OPERATION && error <= LXW_ERROR_ZIP_CLOSE)
    Fail(SystemErrorText(err));
  std::string reason = error == LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE
                           ? "The sheet \"" + sheet_name_ +
                                 "\" needs more than the 1048576 rows or 16384 columns a "
                                 "sheet can hold"
                           : std::string(lxw_strerror(error));
  // The system's reason, when the library failed on a file.
  if ((error == LXW_ERROR_CREATING_XLSX_FILE || error == LXW_ERROR_CREATING_TMPFILE ||
       error == LXW_ERROR_READING_TMPFILE) &&
      err != 0)
    reason += ": " + SystemErrorText(err);
  Fail(reason);
}

void Book::Fail(const std::string& reason) {
  Raise(ErrorKind::EInOutError, "Cannot write file \"" + path_ + "\". " + reason);
}

// Ends the packed rows of the sheet being written; the sheet's dimension is made to cover them
// when they are put in.
void Book::EndPackedRows() {
  if (!packing_) return;
  packing_ = false;
  if (next_row <= 1) return;
  packed_sheets_.push_back({sheet_name_, packer_.EndPart(), next_row - 1});
}

}  // namespace tollwick
