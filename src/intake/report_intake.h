// Applies every report file the walk opens, in walk order: its rows and warnings, then its error.
//
// With reading threads, files are read and cut ahead (read_ahead.h) while earlier ones are
// applied; the walk calls Finish before anything that changes the tree (an archive's rename), so
// that everything before it is done first, as on one thread. Without them (none asked for, or
// none to be had), each file is read, cut and applied when it is added; every effect comes in
// the same order either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/file_bytes.h"
#include "base/file_system.h"
#include "base/warnings.h"
#include "intake/read_ahead.h"
#include "intake/report_job.h"
#include "intake/table_sink.h"

namespace tollwick {

class ReportIntake {
 public:
  ReportIntake(FileSystem& files, TableSink& sink, WarningList& warnings, size_t reading_threads);

  // Takes the open file at `path` (absolute), a loose report or an archive, of `size` bytes, to
  // be read, cut and applied in its turn.
  void Add(const std::string& path, bool archive, FileDescriptor fd, uint64_t size);
  // The same, but everything before it is applied, then it is read, cut and applied on the
  // calling thread before AddNow returns (as the walk wants before it renames the file).
  void AddNow(const std::string& path, bool archive, FileDescriptor fd, uint64_t size);
  // Applies every file still on its way; nothing more after a file whose applying failed.
  void Finish();
  // Applies the oldest file on its way, whose descriptor is then closed: false when there is
  // none. The walk calls it when the process has no descriptor left.
  bool ApplyOne();

 private:
  // Enough files on their way that a month's archive, which takes a reader a while, does not
  // leave the others idle; and few enough bytes that their memory stays small beside the
  // tables'.
  static constexpr size_t kDepth = 16;
  static constexpr uint64_t kByteBudget = uint64_t{16} << 20;

  void ApplyOldest();

  FileSystem& files_;
  TableSink& sink_;
  WarningList& warnings_;
  std::unique_ptr<ReadAhead> ahead_;  // null: one thread
  ReportJob single_;                  // the one-thread way's file, its memory reused
  bool failed_ = false;
};

}  // namespace tollwick
