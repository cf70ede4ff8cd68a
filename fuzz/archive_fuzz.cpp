// Any bytes as an archive file: ReadReportArchive walks its local headers and hands every
// stored report entry to the worksheet extraction. The file's name has no "report" prefix, so
// the rename rule leaves it in place. An error report (TollwickError) is an expected outcome;
// a crash, a sanitizer report, a leak or a slow input is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "base/errors.h"
#include "fuzz_support.h"
#include "intake/report_archive.h"
#include "support/row_collector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tollwick;
  static const std::string path = fuzz::ScratchDir() + "/input.zip";
  fuzz::WriteBytes(path, fuzz::AsText(data, size));
  testing::RowCollector rows;
  try {
    ReadReportArchive(path, rows);
  } catch (const TollwickError&) {
  }
  if (::access(path.c_str(), F_OK) != 0) {
    std::fprintf(stderr, "the archive was moved or removed\n");
    std::abort();
  }
  return 0;
}
