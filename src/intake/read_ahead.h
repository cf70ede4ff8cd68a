// The ring of report files on reading threads: while the walk's thread applies the rows of one
// file, the files after it are read and cut (see report_job.h).
//
// The walk hands each file to Submit in walk order; a reading thread (the first one free) reads
// it whole and cuts its rows; the walk's thread then takes the files back in the same order
// (TakeOldest), applies their rows and does the rest (raising the file's error, renaming an
// archive), and releases the slot. So every effect keeps the order of a one-thread run. A
// bounded number of files are on their way at once, and a bounded number of bytes: their sizes
// and the bytes inflated from their archives. A reading thread that would inflate past the
// bound waits until it has room or its file is the oldest, which is never held up; so a file
// that inflates to far more than the bound is inflated while the others wait, not beside them.
// A released slot keeps only the memory a file of common size needs, for the file after it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "base/file_system.h"
#include "intake/report_job.h"

namespace tollwick {

class ReadAhead {
 public:
  // Starts up to `readers` reading threads (at least one, or raises std::system_error). At
  // most `depth` files, and while more than one, at most `byte_budget` bytes of them (sizes
  // and inflated bytes), are on their way at once. The readers prepare the purchase rows for
  // `sink`, to which the rows go.
  ReadAhead(FileSystem& files, size_t depth, size_t readers, uint64_t byte_budget,
            const TableSink& sink);
  ~ReadAhead();  // the reading threads finish their files and end
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Whether a file of `size` bytes has to wait until the oldest one is taken and released.
  bool Full(uint64_t size);
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
    uint64_t inflated = 0;  // bytes its reader holds inflated (guarded by mutex_)
  };
  void Work();
  // Waits until `slot` may hold `bytes` more of inflated data; raises when reading stops.
  void Hold(Slot& slot, uint64_t bytes);

  FileSystem& files_;
  std::vector<Slot> slots_;
  static constexpr int kReaderNice = 10;

  // Written by the walk's thread under mutex_, so read by it freely and by readers under mutex_.
  size_t head_ = 0;              // oldest slot not released
  size_t pending_ = 0;           // slots submitted and not released
  uint64_t bytes_ = 0;           // the sizes of their files
  uint64_t inflated_ = 0;        // the bytes their readers hold inflated (guarded by mutex_)
  size_t waiting_for_room_ = 0;  // readers waiting in Hold (guarded by mutex_)
  uint64_t byte_budget_;
  std::mutex mutex_;
  std::condition_variable queued_;  // a slot was queued (readers wait), or stop_ was set
  std::condition_variable done_;    // waited_for_ was read (the walk's thread waits)
  std::condition_variable room_;    // a slot was released (readers wait to inflate), or stop_
  Slot* waited_for_ = nullptr;      // the slot the walk's thread waits for (guarded by mutex_)
  size_t next_read_ = 0;            // the slot the next free reader takes (guarded by mutex_)
  bool stop_ = false;
  std::vector<std::thread> readers_;
};

// How many reading threads pay beside the walk's: one per CPU at our disposal, up to four
// (the walk's thread applies rows meanwhile, and waits while they read); none on one CPU.
size_t ReadingThreads();

}  // namespace tollwick
