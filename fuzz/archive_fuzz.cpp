// Any bytes as an archive: the fast walk must agree with the word-for-word one, and the
// production reading must hand on the rows that the word-for-word cutting finds in its reports.
#include "base/errors.h"
#include "fuzz_support.h"
#include "support/literal_archive.h"
#include "support/report_files.h"
#include "support/row_collector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tollwick;
  const std::string bytes(fuzz::AsText(data, size));
  const literal::ArchiveResult expected = literal::WalkArchive(bytes);
  if (testing::WalkArchiveInMemory(bytes) != expected)
    fuzz::Fail("the walk differs from the literal walk");

  static const std::string path = fuzz::ScratchDir() + "/input.zip";
  fuzz::WriteBytes(path, bytes);
  testing::RowCollector rows;
  WarningList warnings;
  try {
    testing::ReadReportArchive(path, rows, warnings);
  } catch (const TollwickError&) {
    return 0;  // a date that is no date: the rows before it are not compared
  }
  std::vector<literal::CutRow> literal_rows;
  for (const std::string& report : expected.reports)
    for (literal::CutRow& row : literal::CutWorksheets(report)) literal_rows.push_back(row);
  if (rows.rows != literal_rows)
    fuzz::Fail("the rows differ from the literal cutting of the entries");
  if (::access(path.c_str(), F_OK) != 0) fuzz::Fail("the archive was moved or removed");
  return 0;
}
