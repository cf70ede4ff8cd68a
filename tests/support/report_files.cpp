#include "support/report_files.h"

#include <fcntl.h>

#include "intake/archive_rename.h"
#include "intake/loose_document.h"
#include "intake/report_job.h"
#include "intake/worksheet_cutter.h"

namespace tollwick::testing {

void ReadReportArchive(const std::string& path, RowSink& sink, WarningList& warnings) {
  FileSystem& files = SystemFileSystem();
  ReportJob job;
  job.Reset(AbsolutePath(files, path), /*is_archive=*/true);
  if (OpenRegularFileAt(files, AT_FDCWD, job.path, job.path, job.fd, job.size) != OpenResult::Read)
    return;
  ReadAndCut(job, files);
  ApplyJob(job, sink, warnings);
  const size_t slash = job.path.rfind('/') + 1;
  const std::string name = job.path.substr(slash);
  if (!NeedsNumberedName(name)) return;
  FileDescriptor dir(files.OpenAt(AT_FDCWD, job.path.substr(0, slash), O_RDONLY | O_DIRECTORY));
  if (dir.get() >= 0) RenameToNumberedName(files, dir.get(), name);
}

void ParseReportFile(const std::string& path, RowSink& sink, FileBytes& buffer) {
  FileSystem& files = SystemFileSystem();
  const std::string absolute = AbsolutePath(files, path);
  FileDescriptor fd;
  uint64_t size = 0;
  if (OpenRegularFileAt(files, AT_FDCWD, absolute, absolute, fd, size) != OpenResult::Read) return;
  ReadOpenFile(files, fd, size, absolute, buffer);
  buffer.Shrink(LooseDocumentInPlace(buffer.data(), buffer.size()));
  CutWorksheets(std::span<char>(buffer.data(), buffer.size()), sink);
}

}  // namespace tollwick::testing
