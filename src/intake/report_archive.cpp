#include "intake/report_archive.h"

#include "base/file_bytes.h"
#include "intake/read_ahead.h"

namespace tollwick {

void ReadReportArchive(const std::string& path, RowSink& sink, WarningList& warnings,
                       FreeNumbers* free_numbers) {
  ReportJob job;
  job.Reset(AbsolutePath(path), /*is_archive=*/true);
  if (OpenRegularFile(job.path, job.fd, job.size) != OpenResult::Read) return;
  ReadAndCut(job);
  ApplyJob(job, sink, warnings);
  const size_t slash = job.path.rfind('/') + 1;
  const std::string name = job.path.substr(slash);
  if (NeedsNumberedName(name)) RenameToNumberedName(job.path.substr(0, slash), name, free_numbers);
}

}  // namespace tollwick
