// Reading and cutting report files on a second thread while the walk's thread applies the rows
// of the files before them.
//
// The walk hands each file to Submit in walk order; a reading thread opens it, reads it whole
// and cuts its rows (views into the bytes it read, kept with the file); the walk's thread then
// takes the files back in the same order (TakeOldest), applies their rows and does the rest
// (raising the file's error, renaming an archive). So every effect keeps the order of a
// one-thread run: rows applied in walk order, archives renamed in walk order, and a file's
// error (cannot open, cannot read) raised after everything done for the files before it. What
// the reading thread does ahead of time changes nothing on disk. At most `depth` files are
// on their way at once; their memory is reused for the files after them.
#pragma once

#include <condition_variable>
#include <cstddef>
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
#include "intake/row_sink.h"

namespace tollwick {

// Rows as the cutting hands them on, kept as views, to be handed on again later.
class RowBatch : public RowSink {
 public:
  void SkuRow(std::span<const std::string_view, kSkuValues> values) override {
    values_.insert(values_.end(), values.begin(), values.end());
    purchase_.push_back(false);
  }
  void SaleRow(std::span<const std::string_view, kSaleValues> values) override {
    values_.insert(values_.end(), values.begin(), values.end());
    purchase_.push_back(true);
  }
  std::string* KeepJoined() override;
  // Hands every row to `sink`, in order.
  void Replay(RowSink& sink) const;
  void Clear() {
    values_.clear();
    purchase_.clear();
    joined_.clear();
  }

 private:
  std::vector<std::string_view> values_;
  std::vector<bool> purchase_;
  std::deque<std::string> joined_;
};

// Pieces of memory that all stay valid until Reset; the memory is kept for reuse.
class ReadArena {
 public:
  char* Take(size_t size);
  void Reset();

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

  // Empties the job for another file; the memory is kept.
  void Reset(const std::string& file_path, bool is_archive);
};

// Reads `job` (a loose report or an archive) and cuts its rows, on the calling thread. A
// failure is kept in job.error, after the rows cut before it.
void ReadAndCut(ReportJob& job);

// Hands the job's rows to `sink`, then raises its error.
void ApplyJob(const ReportJob& job, RowSink& sink);

class ReadAhead {
 public:
  explicit ReadAhead(size_t depth);
  ~ReadAhead();  // the reading thread finishes its file and ends
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Whether `depth` files are on their way; Submit then waits, so take one first.
  bool Full() const { return pending_ == slots_.size(); }
  bool Empty() const { return pending_ == 0; }
  // The job to fill for the next file (not Full), then handed to the reading thread.
  ReportJob& Free() { return slots_[(head_ + pending_) % slots_.size()].job; }
  void Submit();
  // The oldest file submitted and not yet released, once it is read; valid until Release.
  ReportJob& TakeOldest();
  void Release();

 private:
  enum class State { Free, Queued, Done };
  struct Slot {
    ReportJob job;
    State state = State::Free;
  };
  void Work();

  std::vector<Slot> slots_;
  size_t head_ = 0;     // oldest slot not released (walk's thread)
  size_t pending_ = 0;  // slots submitted and not released (walk's thread)
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::thread worker_;
};

// Whether a reading thread can run beside the walk's: more than one CPU is at our disposal.
bool CanReadAhead();

}  // namespace tollwick
