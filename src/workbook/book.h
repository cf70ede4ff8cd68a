// The open workbook of the library, written into a TargetFile: its formats, its sheets set up
// for the screen and for print, header rows, typed cells, and the rows of the dated sheets,
// which it makes as XML itself and packs apart (see SheetRowXml, RowPacker, SpliceSheetRows)
// where the library would format every cell with printf on its own.
//
// Every sheet prints landscape, with the sheet's name and the page number at the foot. A table
// sheet's header row is frozen and, with the first column, printed on every page; a sheet
// narrow enough to be shrunk a little prints one page wide, a wider one across as many pages as
// it takes at full size. Close() completes the file; every part of it is checked then, since
// the library does not check its writes: a part cut short by a full disk or a file size limit
// fails the run. Failures raise EInOutError "Cannot write file "<target>". <reason>".
#pragma once

#include <xlsxwriter.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/day_number.h"
#include "base/file_system.h"
#include "base/target_file.h"
#include "output/monthly_figures.h"
#include "workbook/row_packer.h"
#include "workbook/sheet_row_xml.h"
#include "workbook/sheet_splice.h"

namespace tollwick {

// Column widths, in characters of the default font.
inline constexpr double kLabelWidth = 11;   // a date, a year, a month
inline constexpr double kNumberWidth = 12;  // counts and money
inline constexpr double kGapWidth = 3;      // the empty columns between groups

class Book {
 public:
  Book(FileSystem& files, TargetFile& target);
  ~Book();
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  // Starts a sheet. A table sheet's first row is its header, frozen with `frozen_columns`
  // kept in view; the chart sheet passes kNoFreeze.
  static constexpr lxw_col_t kNoFreeze = LXW_COL_MAX;
  void AddSheet(const char* name, lxw_col_t frozen_columns);
  // The column of position `at` in the sheet being written; raises when the sheet has none.
  lxw_col_t ColumnAt(size_t at);

  // A header row at `row`: texts[c] in column c (none where empty), bold. With `widths`, each
  // column c gets the width its text needs, at least widths[c] and at most 16 characters
  // (unless widths[c] is more), and a text longer than that is wrapped in a row made high
  // enough for it; the sheet's print width follows from them. Gives the widths set.
  std::vector<double> Header(lxw_row_t row, const std::vector<std::string>& texts,
                             std::vector<double> widths = {});

  void Text(lxw_row_t row, lxw_col_t col, std::string_view text);
  void Integer(lxw_row_t row, lxw_col_t col, int64_t value);
  void Money(lxw_row_t row, lxw_col_t col, int64_t cents);
  // Money that may be unknown: an unknown figure leaves the cell empty.
  void Money(lxw_row_t row, lxw_col_t col, const Figure& cents);
  // A date cell for the first day of a month (`whole_month`) or a day. Days the date serial
  // cannot show keep the text of standard output.
  void Date(lxw_row_t row, lxw_col_t col, const CivilDate& date, bool whole_month);

  // The rows of the sheet being written from here until the next sheet begins, as XML made
  // by RowXml() into PackedText(), each row handed over with RowPacked().
  void BeginPackedRows() { packing_ = true; }
  std::string& PackedText() { return packer_.text(); }
  SheetRowXml& RowXml() { return row_xml_; }
  void RowPacked() { packer_.Pass(); }
  int32_t StyleOf(lxw_format* format) { return lxw_format_get_xf_index(format); }

  // Completes the file.
  void Close();

  lxw_workbook* workbook() { return workbook_; }
  lxw_worksheet* sheet() { return sheet_; }
  lxw_format* money() { return money_; }
  lxw_format* day() { return day_; }
  lxw_format* month() { return month_; }
  lxw_row_t next_row = 1;  // of the packed rows

  void Check(lxw_error error) {
    if (error != LXW_NO_ERROR) Fail(error);
  }
  [[noreturn]] void Fail(lxw_error error);
  [[noreturn]] void Fail(const std::string& reason);

 private:
  void EndPackedRows();

  FileSystem& files_;
  TargetFile& target_;
  const std::string& path_;
  RowPacker packer_;
  SheetRowXml row_xml_;
  bool packing_ = false;
  std::vector<SheetRows> packed_sheets_;
  lxw_workbook* workbook_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  std::string sheet_name_;
  lxw_format* header_ = nullptr;
  lxw_format* money_ = nullptr;
  lxw_format* day_ = nullptr;
  lxw_format* month_ = nullptr;
};

// The text of standard output for a day or month that a date serial cannot show.
std::string DateLabel(const CivilDate& date, bool whole_month);

// The first day a spreadsheet's date serial shows correctly: below it, its calendar counts
// a 29 February 1900 that never was.
inline constexpr double kFirstSerialDay = 61;

}  // namespace tollwick
