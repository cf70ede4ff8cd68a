#include "intake/read_ahead.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "base/errors.h"
#include "intake/archive_entries.h"
#include "intake/loose_document.h"
#include "intake/report_warnings.h"
#include "intake/worksheet_cutter.h"

namespace tollwick {

void RowBatch::Warn(std::vector<std::string>&& texts) {
  for (std::string& text : texts) warnings_.emplace_back(purchase_.size(), std::move(text));
}

void RowBatch::Replay(RowSink& sink, WarningList& warnings) const {
  const std::string_view* at = values_.data();
  const PreparedSale* prepared = preparer_ != nullptr && all_prepared_ ? prepared_.data() : nullptr;
  size_t warning = 0;
  for (size_t row = 0;;) {
    while (warning < warnings_.size() && warnings_[warning].first == row)
      warnings.Add(warnings_[warning++].second);
    if (row == purchase_.size()) break;
    // Rows up to the next warning.
    const size_t end = warning < warnings_.size() ? warnings_[warning].first : purchase_.size();
    if (!purchase_[row]) {
      // The next product row's bytes, written by a reading thread, are fetched meanwhile.
      if (row + 1 < purchase_.size() && !purchase_[row + 1])
        for (size_t i = 0; i < kSkuValues; ++i) __builtin_prefetch(at[kSkuValues + i].data());
      sink.SkuRow(std::span<const std::string_view, kSkuValues>(at, kSkuValues));
      at += kSkuValues;
      ++row;
      continue;
    }
    size_t run = 1;
    while (row + run < end && purchase_[row + run]) ++run;
    sink.SaleRows(at, prepared, run);
    at += run * kSaleValues;
    if (prepared != nullptr) prepared += run;
    row += run;
  }
}

void RowBatch::Clear(size_t keep) {
  values_.clear();
  purchase_.clear();
  joined_.clear();
  prepared_.clear();
  all_prepared_ = true;
  warnings_.clear();
  if (values_.capacity() * sizeof(std::string_view) > keep) {
    values_.shrink_to_fit();
    purchase_.shrink_to_fit();
    prepared_.shrink_to_fit();
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

void ReadArena::Reset(size_t keep) {
  current_ = 0;
  used_ = 0;
  size_t held = 0;
  for (const Chunk& chunk : chunks_) held += chunk.capacity;
  if (held > keep) chunks_.clear();
}

namespace {

// An archive read piece by piece; the memory it keeps stays valid until the arena is reset.
class ArenaArchive : public ArchiveBytes {
 public:
  ArenaArchive(const FileDescriptor& fd, const std::string& path, uint64_t size, ReadArena& arena)
      : fd_(fd), path_(path), size_(size), arena_(arena) {}
  uint64_t size() const override { return size_; }
  void ReadAt(uint64_t offset, char* out, size_t length) override {
    size_t done = 0;
    while (done < length) {
      ssize_t n = ::pread(fd_.get(), out + done, length - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) RaiseOpenError(path_, errno);
      if (n == 0) RaiseEndedEarly(path_, offset + done, size_);
      done += static_cast<size_t>(n);
    }
  }
  char* Keep(size_t length) override { return arena_.Take(length); }

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
    std::vector<std::string> warnings;
    auto cut = [&](std::string_view document) {
      const CutFindings found = CutWorksheets(document, job.rows);
      DocumentWarnings(job.path, document, found, warnings);
      job.rows.Warn(std::move(warnings));
      warnings.clear();
    };
    if (!job.archive) {
      ReadOpenFile(fd, job.size, job.path, job.loose);
      job.loose.Shrink(LooseDocumentInPlace(job.loose.data(), job.loose.size()));
      cut(job.loose.view());
      return;
    }
    ArenaArchive archive(fd, job.path, job.size, job.pieces);
    ArchiveWarnings(job.path, WalkArchive(archive, cut), warnings);
    job.rows.Warn(std::move(warnings));
  } catch (...) {
    job.error = std::current_exception();
  }
}

void ApplyJob(const ReportJob& job, RowSink& sink, WarningList& warnings) {
  job.rows.Replay(sink, warnings);
  if (job.error) std::rethrow_exception(job.error);
}

void ReportJob::Reset(const std::string& file_path, bool is_archive) {
  // A daily report and most archives of a month of them stay below this.
  constexpr size_t kKeep = size_t{1} << 20;
  path = file_path;
  archive = is_archive;
  fd = FileDescriptor();
  size = 0;
  rows.Clear(kKeep);
  error = nullptr;
  loose.Clear(kKeep);
  pieces.Reset(kKeep);
}

ReadAhead::ReadAhead(size_t depth, size_t readers, uint64_t byte_budget, const RowSink& sink)
    : slots_(std::max<size_t>(depth, 1)), byte_budget_(byte_budget) {
  for (Slot& slot : slots_) slot.job.rows.SetPreparer(&sink);
  for (size_t i = 0; i < std::max<size_t>(readers, 1); ++i) {
    try {
      readers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      if (!readers_.empty()) break;  // fewer readers do the same work
      throw;
    }
  }
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  queued_.notify_all();
  for (std::thread& reader : readers_) reader.join();
}

void ReadAhead::Submit() {
  Slot& slot = slots_[(head_ + pending_) % slots_.size()];  // free: the reader leaves it alone
  {
    std::lock_guard lock(mutex_);
    slot.state = State::Queued;
  }
  queued_.notify_one();
  ++pending_;
  bytes_ += slot.job.size;
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
  {
    std::lock_guard lock(mutex_);
    slots_[head_].state = State::Free;
  }
  bytes_ -= slots_[head_].job.size;
  head_ = (head_ + 1) % slots_.size();
  --pending_;
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
    ReadAndCut(slot.job);
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
