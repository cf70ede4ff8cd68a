// The statistics as a spreadsheet workbook (.xlsx): one sheet per section that standard output
// shows ("Products", "Total", "Years", "Months", "Days"), with the same rows and columns; then
// "Revenue" and "Markets", the money per title and per market of every month of the range;
// then "Charts". Every sheet but the charts' has its header row frozen, bold and wrapped where
// it is longer than its column, and repeated on every printed page with the first column. Every
// sheet prints landscape, one page wide, with the sheet's name and the page number at the foot.
// Cells are typed: counts and years are integers, money is a number shown with two decimals
// (empty where its conversion failed), days and months are dates, everything else is text.
// Texts are written as UTF-8; a byte that does not belong to a valid UTF-8 sequence of a
// character that a workbook can hold (overlong forms, surrogates, code points above U+10FFFF,
// U+FFFE and U+FFFF are not) is taken as the Latin-1 character of that code.
//
// The workbook goes to a temporary file beside its final path, made when the writer is
// created, so that a path that cannot be written ends the run before anything else happens.
// When the final path is a symbolic link, the file it points to is the one replaced, and the
// temporary file is made beside that. Commit() renames it onto the final path; a writer
// destroyed without it removes the file and leaves the final path as it was. So does SIGINT,
// SIGTERM or SIGHUP while the writer lives, after which the signal ends the process as it
// would have. There is one writer at a time.
//
// The library writes every sheet but the rows of the dated sheets, which would take it one
// printf call and one allocation per cell: the writer makes their XML itself, packs it on two
// threads into an unnamed temporary file beside the workbook, and puts it into the library's
// zip file when that is complete (see SpliceSheetRows), so memory does not grow with the number
// of rows. Every part of the library's zip file is checked then, since the library does not
// check its writes: a part cut short by a full disk or a file size limit fails the run.
#pragma once

#include <sys/types.h>

#include <memory>
#include <span>
#include <string>

#include "output/monthly_figures.h"
#include "output/report_options.h"
#include "output/section_rows.h"
#include "tables/sku_table.h"

namespace tollwick {

class WorkbookWriter final : public SectionRows {
 public:
  // `path` must end in ".xlsx" (in any case). Raises EFOpenError naming the absolute path of
  // the file to write and the reason when the temporary file cannot be created, or the file is
  // a directory or no regular file.
  WorkbookWriter(const std::string& path, const ReportOptions& options);
  ~WorkbookWriter() override;
  WorkbookWriter(const WorkbookWriter&) = delete;
  WorkbookWriter& operator=(const WorkbookWriter&) = delete;

  void WriteProducts(const SkuTable& skus);
  void BeginSection(SectionKind kind, std::span<const TallyLine> lines,
                    const CurrencyTable& currencies) override;
  void Row(SectionKind kind, const PeriodRow& row) override;
  // The "Revenue" and "Markets" sheets.
  void WriteMoneySheets(const MonthlyFigures& figures);
  void WriteCharts(const MonthlyChart& chart);

  // Completes the temporary file; then Commit() puts it in place. Both raise EInOutError.
  void Finish();
  void Commit();

 private:
  class Book;
  // A file removed on destruction, or by a signal that ends the process, unless released.
  class TemporaryFile {
   public:
    // Creates it from the mkstemp() pattern `name` with permissions `mode`; returns errno, 0
    // when made.
    int Create(std::string name, mode_t mode);
    const std::string& path() const { return path_; }
    void Release();
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();

   private:
    std::string path_;
  };
  std::string path_;         // absolute, links followed
  TemporaryFile temporary_;  // beside path_; destroyed after book_, which writes into it
  std::unique_ptr<Book> book_;
  bool finished_ = false;
};

}  // namespace tollwick
