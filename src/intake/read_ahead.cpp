#include "intake/read_ahead.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/errors.h"
#include "intake/loose_document.h"
#include "intake/stored_entries.h"
#include "intake/worksheet_cutter.h"

namespace tollwick {

void RowBatch::Replay(RowSink& sink) const {
  const std::string_view* at = values_.data();
  for (bool purchase : purchase_) {
    if (purchase) {
      sink.SaleRow(std::span<const std::string_view, kSaleValues>(at, kSaleValues));
      at += kSaleValues;
    } else {
      sink.SkuRow(std::span<const std::string_view, kSkuValues>(at, kSkuValues));
      at += kSkuValues;
    }
  }
}

std::string* RowBatch::KeepJoined() {
  return &joined_.emplace_back();
}

char* ReadArena::Take(size_t size) {
  constexpr size_t kChunk = size_t{1} << 20;
  while (current_ < chunks_.size() && chunks_[current_].capacity - used_ < size) {
    ++current_;
    used_ = 0;
  }
  if (current_ == chunks_.size()) {
    size_t capacity = std::max(size, kChunk);
    chunks_.push_back({std::make_unique_for_overwrite<char[]>(capacity), capacity});
    used_ = 0;
  }
  char* taken = chunks_[current_].data.get() + used_;
  used_ += size;
  return taken;
}

void ReadArena::Reset() {
  current_ = 0;
  used_ = 0;
}

namespace {

// An archive read piece by piece; every piece stays valid until the arena is reset.
class ArenaArchive : public ArchiveBytes {
 public:
  ArenaArchive(const FileDescriptor& fd, const std::string& path, uint64_t size, ReadArena& arena)
      : fd_(fd), path_(path), size_(size), arena_(arena) {}
  uint64_t size() const override { return size_; }
  std::string_view Read(uint64_t offset, size_t length) override {
    char* room = arena_.Take(length);
    size_t done = 0;
    while (done < length) {
      ssize_t n = ::pread(fd_.get(), room + done, length - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) RaiseOpenError(path_, errno);
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return {room, done};
  }

 private:
  const FileDescriptor& fd_;
  const std::string& path_;
  uint64_t size_;
  ReadArena& arena_;
};

}  // namespace

void ReadAndCut(ReportJob& job) {
  try {
    // The file is closed once read, whatever happens.
    const FileDescriptor fd = std::move(job.fd);
    if (!job.archive) {
      ReadOpenFile(fd, job.size, job.path, job.loose);
      job.loose.Shrink(LooseDocumentInPlace(job.loose.data(), job.loose.size()));
      CutWorksheets(job.loose.view(), job.rows);
      return;
    }
    ArenaArchive archive(fd, job.path, job.size, job.pieces);
    ForEachReportEntry(archive, [&](std::string_view entry) { CutWorksheets(entry, job.rows); });
  } catch (...) {
    job.error = std::current_exception();
  }
}

void ApplyJob(const ReportJob& job, RowSink& sink) {
  job.rows.Replay(sink);
  if (job.error) std::rethrow_exception(job.error);
}

void ReportJob::Reset(const std::string& file_path, bool is_archive) {
  path = file_path;
  archive = is_archive;
  fd = FileDescriptor();
  size = 0;
  rows.Clear();
  error = nullptr;
  pieces.Reset();
}

ReadAhead::ReadAhead(size_t depth) : slots_(std::max<size_t>(depth, 1)) {
  worker_ = std::thread([this] { Work(); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void ReadAhead::Submit() {
  Slot& slot = slots_[(head_ + pending_) % slots_.size()];  // free: the reader leaves it alone
  {
    std::lock_guard lock(mutex_);
    slot.state = State::Queued;
  }
  changed_.notify_all();
  ++pending_;
}

ReportJob& ReadAhead::TakeOldest() {
  Slot& slot = slots_[head_];
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return slot.state == State::Done; });
  return slot.job;
}

void ReadAhead::Release() {
  {
    std::lock_guard lock(mutex_);
    slots_[head_].state = State::Free;
  }
  head_ = (head_ + 1) % slots_.size();
  --pending_;
}

void ReadAhead::Work() {
  for (size_t next = 0;; next = (next + 1) % slots_.size()) {
    Slot& slot = slots_[next];
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || slot.state == State::Queued; });
      if (stop_) return;
    }
    // The walk's thread does not touch a queued slot, so the job is read without the lock.
    ReadAndCut(slot.job);
    {
      std::lock_guard lock(mutex_);
      slot.state = State::Done;
    }
    changed_.notify_all();
  }
}

bool CanReadAhead() {
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (::sched_getaffinity(0, sizeof cpus, &cpus) != 0) return false;
  return CPU_COUNT(&cpus) > 1;
}

}  // namespace tollwick
