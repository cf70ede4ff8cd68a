// Reading and cutting report files on reading threads while the walk's thread applies the rows
// of the files before them.
//
// The walk hands each file to Submit in walk order; a reading thread (the first one free) reads
// it whole and cuts its rows (views into the bytes it read, kept with the file); the walk's
// thread then takes the files back in the same order (TakeOldest), applies their rows and does
// the rest (raising the file's error, renaming an archive). So every effect keeps the order of
// a one-thread run: rows applied in walk order, archives renamed in walk order, and a file's
// error (cannot open, cannot read) raised after everything done for the files before it. What
// the reading threads do ahead of time changes nothing on disk. A bounded number of files are
// on their way at once; their memory is reused for the files after them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/file_bytes.h"
#include "base/warnings.h"
#include "intake/row_sink.h"

namespace tollwick {

// Rows as the cutting hands them on, kept as views, to be handed on again later. With a
// `preparer` (the sink they will be handed to), each purchase row is prepared as it comes.
class RowBatch : public RowSink {
 public:
  void SetPreparer(const RowSink* preparer) { preparer_ = preparer; }
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
  // Notes warnings found after the rows so far.
  void Warn(std::vector<std::string>&& texts);
  // Hands every row to `sink` (the preparer, if any) and every warning to `warnings`, in order.
  void Replay(RowSink& sink, WarningList& warnings) const;
  // Empties the batch; its memory is kept for the next file unless it is more than about
  // `keep` bytes.
  void Clear(size_t keep);

 private:
  std::vector<std::string_view> values_;
  std::vector<bool> purchase_;
  std::deque<std::string> joined_;
  const RowSink* preparer_ = nullptr;
  std::vector<PreparedSale> prepared_;  // one per purchase row, when all_prepared_
  bool all_prepared_ = true;
  std::vector<std::pair<size_t, std::string>> warnings_;  // with the number of rows before it
};

// Pieces of memory that all stay valid until Reset; the memory is kept for reuse unless it is
// more than `keep` bytes.
class ReadArena {
 public:
  char* Take(size_t size);
  void Reset(size_t keep);

 private:
  struct Chunk {
    std::unique_ptr<char[]> data;
    size_t capacity;
  };
  std::vector<Chunk> chunks_;
  size_t current_ = 0;
  size_t used_ = 0;
};

// One report file on its way: what the reading thread found in it.
struct ReportJob {
  std::string path;
  bool archive = false;
  FileDescriptor fd;         // opened by the walk, in walk order; closed once read
  uint64_t size = 0;         // when opened
  RowBatch rows;             // views into `loose` or `pieces`
  std::exception_ptr error;  // the file's error, to be raised after its rows
  FileBytes loose;           // a loose file's document
  ReadArena pieces;          // the headers, names and report entries of an archive

  // Empties the job for another file. Memory for a file of common size is kept; what a large
  // file needed is given back, so that the jobs on their way together hold at most a few of
  // them.
  void Reset(const std::string& file_path, bool is_archive);
};

// Reads `job` (a loose report or an archive) and cuts its rows, on the calling thread. A
// failure is kept in job.error, after the rows cut before it.
void ReadAndCut(ReportJob& job);

// Hands the job's rows to `sink` and its warnings to `warnings`, then raises its error.
void ApplyJob(const ReportJob& job, RowSink& sink, WarningList& warnings);

class ReadAhead {
 public:
  // Starts up to `readers` reading threads (at least one, or raises std::system_error). At
  // most `depth` files, and while more than one, at most `byte_budget` bytes of them, are on
  // their way at once. The readers prepare the purchase rows for `sink`, to which the rows go.
  ReadAhead(size_t depth, size_t readers, uint64_t byte_budget, const RowSink& sink);
  ~ReadAhead();  // the reading threads finish their files and end
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Whether a file of `size` bytes has to wait until the oldest one is taken and released.
  bool Full(uint64_t size) const {
    return pending_ == slots_.size() || (pending_ > 0 && bytes_ + size > byte_budget_);
  }
  bool Empty() const { return pending_ == 0; }
  // The job to fill for the next file (when not Full), then handed to the reading threads.
  ReportJob& Free() { return slots_[(head_ + pending_) % slots_.size()].job; }
  void Submit();
  // The oldest file submitted and not yet released, once it is read; valid until Release.
  ReportJob& TakeOldest();
  void Release();

 private:
  enum class State { Free, Queued, Reading, Done };
  struct Slot {
    ReportJob job;
    State state = State::Free;
  };
  void Work();

  std::vector<Slot> slots_;
  size_t head_ = 0;  // oldest slot not released (walk's thread)
  static constexpr int kReaderNice = 10;

  size_t pending_ = 0;  // slots submitted and not released (walk's thread)
  uint64_t bytes_ = 0;  // the sizes of their files (walk's thread)
  uint64_t byte_budget_;
  std::mutex mutex_;
  std::condition_variable queued_;  // a slot was queued (readers wait), or stop_ was set
  std::condition_variable done_;    // waited_for_ was read (the walk's thread waits)
  Slot* waited_for_ = nullptr;      // the slot the walk's thread waits for (guarded by mutex_)
  size_t next_read_ = 0;            // the slot the next free reader takes (guarded by mutex_)
  bool stop_ = false;
  std::vector<std::thread> readers_;
};

// How many reading threads pay beside the walk's: one per CPU at our disposal, up to four
// (the walk's thread applies rows meanwhile, and waits while they read); none on one CPU.
size_t ReadingThreads();

}  // namespace tollwick
