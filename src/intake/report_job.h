// One report file on its way from the disk to the tables: read and cut (ReadAndCut, on any
// thread), then applied (ApplyJob, on the walk's thread, in walk order).
//
// Cutting a file keeps its rows as views into the bytes read, with the warnings found in it at
// their places between the rows, and the file's error (cannot be read, ended early) to be raised
// after them. Applying hands the rows to the tables, the warnings to the run's list, and raises
// the error. Nothing that ReadAndCut does changes anything on disk or in the tables, so files
// may be read ahead of the one being applied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/file_bytes.h"
#include "base/file_system.h"
#include "base/large_memory.h"
#include "base/warnings.h"
#include "intake/table_sink.h"

namespace tollwick {

// Rows as the cutting hands them on, kept as views, to be handed on again later, with the
// warnings found after each. With a `preparer` (the sink they will be handed to), each purchase
// row is prepared as it comes.
class RowBatch : public RowSink {
 public:
  void SetPreparer(const TableSink* preparer) { preparer_ = preparer; }
  void SkuRow(std::span<const std::string_view, kSkuValues> values) override {
    values_.insert(values_.end(), values.begin(), values.end());
    purchase_.push_back(false);
  }
  void SaleRow(std::span<const std::string_view, kSaleValues> values) override {
    values_.insert(values_.end(), values.begin(), values.end());
    purchase_.push_back(true);
    if (preparer_ != nullptr && all_prepared_) {
      all_prepared_ = preparer_->PrepareSale(values, prepared_.emplace_back());
    }
  }
  std::string* KeepJoined() override;
  // Makes room, ahead of cutting, for the rows a document of `bytes` bytes usually holds, so
  // that the row lists do not grow piece by piece (each growth a copy into fresh memory).
  void Reserve(size_t bytes);
  // Takes the warnings found after the rows so far; `texts` is left empty.
  void Warn(std::vector<Warning>& texts);
  // Hands every row to `sink` (the preparer, if any) and every warning to `warnings`, in order.
  void Replay(TableSink& sink, WarningList& warnings) const;
  // Empties the batch; its memory is kept for the next file unless it is more than about
  // `keep` bytes.
  void Clear(size_t keep);

 private:
  std::vector<std::string_view, LargeAllocator<std::string_view>> values_;
  std::vector<bool> purchase_;
  std::deque<std::string> joined_;
  const TableSink* preparer_ = nullptr;
  // One per purchase row, when all_prepared_.
  std::vector<PreparedSale, LargeAllocator<PreparedSale>> prepared_;
  bool all_prepared_ = true;
  std::vector<std::pair<size_t, Warning>> warnings_;  // with the number of rows before it
};

// Pieces of memory that all stay valid until Reset; the memory is kept for reuse unless it is
// more than `keep` bytes. New memory is taken in chunks of about `chunk` bytes (the size of
// the file the pieces come from, say), at most 2 MB.
class ReadArena {
 public:
  char* Take(size_t size, uint64_t chunk);
  // Keeps `memory` (filled elsewhere) until Reset, which gives it back.
  void Adopt(LargeBuffer memory) { adopted_.push_back(std::move(memory)); }
  void Reset(size_t keep);

 private:
  std::vector<LargeBuffer> chunks_;
  std::vector<LargeBuffer> adopted_;
  size_t current_ = 0;
  size_t used_ = 0;
};

struct ReportJob {
  std::string path;  // absolute
  bool archive = false;
  FileDescriptor fd;         // opened by the walk, in walk order; closed once read
  uint64_t size = 0;         // when opened
  RowBatch rows;             // views into `loose` or `pieces`
  std::exception_ptr error;  // the file's error, to be raised after its rows
  FileBytes loose;           // a loose file's document
  ReadArena pieces;          // the headers, names and report entries of an archive

  // Empties the job for another file.
  void Reset(const std::string& file_path, bool is_archive);
  // Gives back the memory that a large file needed, keeping what a file of common size needs,
  // so that jobs waiting to be used again hold little.
  void Trim();
};

// Reads `job` (a loose report or an archive) through `files` and cuts its rows, on the calling
// thread. A failure is kept in job.error, after the rows cut before it. Before the job holds more
// bytes of inflated data, `hold` (when set) is told how many; it may wait for room, or raise to
// abandon the job.
void ReadAndCut(ReportJob& job, FileSystem& files, const std::function<void(uint64_t)>& hold = {});

// Hands the job's rows to `sink` and its warnings to `warnings`, then raises its error.
void ApplyJob(const ReportJob& job, TableSink& sink, WarningList& warnings);

}  // namespace tollwick
