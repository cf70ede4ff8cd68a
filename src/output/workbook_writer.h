// The statistics as a spreadsheet workbook (.xlsx): one sheet per section that standard output
// shows ("Products", "Total", "Years", "Months", "Days"), with the same rows and columns, and a
// "Charts" sheet. Every sheet has its header row, frozen. Cells are typed: counts and years are
// integers, money is a number shown with two decimals, days and months are dates, everything
// else is text. Texts are written as UTF-8; a byte that does not belong to a valid UTF-8
// sequence is taken as the Latin-1 character of that code.
//
// The workbook goes to a temporary file beside its final path, made when the writer is
// created, so that a path that cannot be written ends the run before anything else happens.
// Commit() renames it onto the final path; a writer destroyed without it removes the file and
// leaves the final path as it was. Rows are streamed to disk, so memory does not grow with
// the number of rows.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "output/monthly_chart.h"
#include "output/report_options.h"
#include "output/section_rows.h"
#include "tables/sku_table.h"

namespace tollwick {

class WorkbookWriter final : public SectionRows {
 public:
  // `path` must end in ".xlsx" (in any case). Raises EFOpenError naming the absolute path and
  // the reason when the temporary file cannot be created or `path` is a directory.
  WorkbookWriter(const std::string& path, const ReportOptions& options);
  ~WorkbookWriter() override;
  WorkbookWriter(const WorkbookWriter&) = delete;
  WorkbookWriter& operator=(const WorkbookWriter&) = delete;

  void WriteProducts(const SkuTable& skus);
  void BeginSection(SectionKind kind, std::span<const TallyLine> lines,
                    const CurrencyTable& currencies) override;
  void Row(SectionKind kind, const PeriodRow& row) override;
  void WriteCharts(const MonthlyChart& chart);

  // Completes the temporary file; then Commit() puts it in place. Both raise EInOutError.
  void Finish();
  void Commit();

  const std::string& path() const { return path_; }

 private:
  class Book;
  // A file removed on destruction unless its path was cleared.
  struct TemporaryFile {
    std::string path;
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();
  };
  std::string path_;         // absolute
  TemporaryFile temporary_;  // beside path_; destroyed after book_, which writes into it
  std::unique_ptr<Book> book_;
  bool finished_ = false;
};

}  // namespace tollwick
