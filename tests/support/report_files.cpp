#include "support/report_files.h"

#include <fcntl.h>

#include <cstring>
#include <vector>

#include "intake/archive_entries.h"
#include "intake/archive_rename.h"
#include "intake/loose_document.h"
#include "intake/report_job.h"
#include "intake/worksheet_cutter.h"

namespace tollwick::testing {

namespace {

class MemoryArchive : public ArchiveBytes {
 public:
  explicit MemoryArchive(std::string_view bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  void ReadAt(uint64_t offset, char* out, size_t length) override {
    std::memcpy(out, bytes_.data() + offset, length);
  }
  char* Keep(size_t length) override { return kept_.emplace_back(length).get(); }
  void Adopt(LargeBuffer memory) override { kept_.push_back(std::move(memory)); }

 private:
  std::string_view bytes_;
  std::vector<LargeBuffer> kept_;
};

}  // namespace

literal::ArchiveResult WalkArchiveInMemory(const std::string& archive) {
  MemoryArchive bytes(archive);
  literal::ArchiveResult result;
  const ArchiveWalk walk =
      WalkArchive(bytes, [&](std::string_view data) { result.reports.emplace_back(data); });
  result.end = static_cast<literal::End>(walk.end);
  result.report_entry_met = walk.report_entry_met;
  return result;
}

void ReadReportArchive(const std::string& path, TableSink& sink, WarningList& warnings) {
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
