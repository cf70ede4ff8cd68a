#include "intake/read_ahead.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace tollwick {

ReadAhead::ReadAhead(FileSystem& files, size_t depth, size_t readers, uint64_t byte_budget,
                     const TableSink& sink)
    : files_(files), slots_(std::max<size_t>(depth, 1)), byte_budget_(byte_budget) {
  for (Slot& slot : slots_) slot.job.rows.SetPreparer(&sink);
  // Room first: growing the vector could fail once threads run, and a running thread must never
  // be left behind unjoined.
  readers_.reserve(std::max<size_t>(readers, 1));
  for (size_t i = 0; i < std::max<size_t>(readers, 1); ++i) {
    try {
      readers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      if (!readers_.empty()) break;  // fewer readers do the same work
      throw;
    }
  }
}

namespace {

// Raised in a reading thread that waits for room when reading stops: its file is abandoned.
struct ReadingStopped {};

}  // namespace

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  queued_.notify_all();
  room_.notify_all();
  for (std::thread& reader : readers_) reader.join();
}

void ReadAhead::Submit() {
  // The slot after the pending ones is free, so no reader looks at it until it is queued here;
  // queuing it under the lock publishes everything the walk's thread wrote into its job.
  Slot& slot = slots_[(head_ + pending_) % slots_.size()];
  {
    std::lock_guard lock(mutex_);
    slot.state = State::Queued;
    ++pending_;
    bytes_ += slot.job.size;
  }
  queued_.notify_one();
}

bool ReadAhead::Full(uint64_t size) {
  if (pending_ == slots_.size()) return true;
  if (pending_ == 0) return false;
  std::lock_guard lock(mutex_);
  return bytes_ + inflated_ + size > byte_budget_;
}

void ReadAhead::Hold(Slot& slot, uint64_t bytes) {
  std::unique_lock lock(mutex_);
  ++waiting_for_room_;
  room_.wait(lock, [&] {
    return stop_ || &slot == &slots_[head_] || bytes_ + inflated_ + bytes <= byte_budget_;
  });
  --waiting_for_room_;
  if (stop_) throw ReadingStopped();
  inflated_ += bytes;
  slot.inflated += bytes;
}

ReportJob& ReadAhead::TakeOldest() {
  Slot& slot = slots_[head_];
  std::unique_lock lock(mutex_);
  waited_for_ = &slot;
  done_.wait(lock, [&] { return slot.state == State::Done; });
  waited_for_ = nullptr;
  return slot.job;
}

void ReadAhead::Release() {
  Slot& slot = slots_[head_];
  // What a large file needed goes now, not when the slot is used again many files later.
  slot.job.Trim();
  bool waiting = false;
  {
    std::lock_guard lock(mutex_);
    slot.state = State::Free;
    bytes_ -= slot.job.size;
    waiting = waiting_for_room_ > 0;
    inflated_ -= slot.inflated;
    slot.inflated = 0;
    head_ = (head_ + 1) % slots_.size();
    --pending_;
  }
  // The next oldest file may be one whose reader waits, and there is more room for the others.
  if (waiting) room_.notify_all();
}

void ReadAhead::Work() {
  // Rows are applied in walk order, on the walk's thread alone; when it has to share a CPU with
  // a reader, it goes first, so that reading ahead never holds it up. (Raising a thread's nice
  // value needs no privilege; should it fail, the readers merely compete.)
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kReaderNice);
  for (;;) {
    Slot* claimed = nullptr;
    {
      // Slots are queued in ring order, so the next one to read is always the one after the
      // last one claimed.
      std::unique_lock lock(mutex_);
      queued_.wait(lock, [&] { return stop_ || slots_[next_read_].state == State::Queued; });
      if (stop_) return;
      claimed = &slots_[next_read_];
      claimed->state = State::Reading;
      next_read_ = (next_read_ + 1) % slots_.size();
    }
    Slot& slot = *claimed;
    // No other thread touches a slot being read, so the job is read without the lock.
    ReadAndCut(slot.job, files_, [this, &slot](uint64_t bytes) { Hold(slot, bytes); });
    bool awaited = false;
    {
      std::lock_guard lock(mutex_);
      slot.state = State::Done;
      awaited = waited_for_ == &slot;
    }
    // Only the walk's thread waits, and only for the oldest file: it is woken for that alone.
    if (awaited) done_.notify_one();
  }
}

size_t ReadingThreads() {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (::sched_getaffinity(0, sizeof cpus, &cpus) != 0) return 0;
  const int count = CPU_COUNT(&cpus);
  return count > 1 ? std::min<size_t>(static_cast<size_t>(count), 4) : 0;
}

}  // namespace tollwick
