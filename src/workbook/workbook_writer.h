// The statistics as a spreadsheet workbook (.xlsx): one sheet per section that standard output
// shows ("Products", "Total", "Years", "Months", "Days"), with the same rows and columns; then
// "Revenue" and "Markets", the money per title and per market of every month of the range;
// then "Charts" (see WriteChartSheet). Every sheet but the charts' has its header row frozen,
// bold and wrapped where it is longer than its column (see Book for print). Cells are typed:
// counts and years are integers, money is a number shown with two decimals (empty where its
// conversion failed), days and months are dates, everything else is text (see CellText).
//
// The file is a TargetFile: the name given is followed through its links to a file whose own
// name ends in ".xlsx", which is made when the writer is created, so that a path that cannot be
// written ends the run before anything else happens. It takes its name only at Commit(), which
// the run calls when everything else, standard output included, has succeeded; otherwise the
// old file stays as it was and nothing is left behind.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "base/file_system.h"
#include "base/target_file.h"
#include "output/monthly_figures.h"
#include "output/report_options.h"
#include "output/section_rows.h"
#include "tables/sku_table.h"

namespace tollwick {

class Book;

class WorkbookWriter final : public SectionRows {
 public:
  // `path` must end in ".xlsx" (in any case), and so must the file it leads to. Raises
  // EFOpenError "Cannot create file "<path>". <reason>" naming the absolute path of the file
  // to write when it cannot be written. `files` must outlive the writer.
  WorkbookWriter(FileSystem& files, const std::string& path, const ReportOptions& options);
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

  // Completes the file; then Commit() gives it its name. Both raise EInOutError.
  void Finish();
  void Commit();

 private:
  // The columns of the dated section being written.
  struct Column {
    enum What { Line, Currency, Total, Share } what;
    size_t index;  // of the tally line or currency
    uint16_t col;
  };

  const ReportOptions& options_;
  TargetFile target_;
  std::unique_ptr<Book> book_;  // writes into target_
  std::vector<Column> columns_;
  bool finished_ = false;
};

}  // namespace tollwick
