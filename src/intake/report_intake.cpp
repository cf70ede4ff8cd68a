#include "intake/report_intake.h"

#include <system_error>
#include <utility>

namespace tollwick {

ReportIntake::ReportIntake(FileSystem& files, TableSink& sink, WarningList& warnings,
                           size_t reading_threads)
    : files_(files), sink_(sink), warnings_(warnings) {
  if (reading_threads == 0) return;
  try {
    ahead_ = std::make_unique<ReadAhead>(files, kDepth, reading_threads, kByteBudget, sink);
  } catch (const std::system_error&) {
    // No thread to be had (a process limit, say): the files are read one by one, which gives
    // the same result.
  }
}

void ReportIntake::Add(const std::string& path, bool archive, FileDescriptor fd, uint64_t size) {
  if (!ahead_) {
    AddNow(path, archive, std::move(fd), size);
    return;
  }
  while (ahead_->Full(size)) ApplyOldest();
  ReportJob& job = ahead_->Free();
  job.Reset(path, archive);
  job.fd = std::move(fd);
  job.size = size;
  ahead_->Submit();
}

void ReportIntake::AddNow(const std::string& path, bool archive, FileDescriptor fd, uint64_t size) {
  Finish();
  single_.Reset(path, archive);
  single_.fd = std::move(fd);
  single_.size = size;
  ReadAndCut(single_, files_);
  ApplyJob(single_, sink_, warnings_);
}

void ReportIntake::Finish() {
  while (!failed_ && ahead_ && !ahead_->Empty()) ApplyOldest();
}

bool ReportIntake::ApplyOne() {
  if (failed_ || !ahead_ || ahead_->Empty()) return false;
  ApplyOldest();
  return true;
}

void ReportIntake::ApplyOldest() {
  const ReportJob& job = ahead_->TakeOldest();
  // The slot is released even when applying raises.
  struct ReleaseOnExit {
    ReadAhead& ahead;
    ~ReleaseOnExit() { ahead.Release(); }
  } release{*ahead_};
  failed_ = true;  // until ApplyJob returns
  ApplyJob(job, sink_, warnings_);
  failed_ = false;
}

}  // namespace tollwick
