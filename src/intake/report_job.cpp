#include "intake/report_job.h"

#include <algorithm>
#include <cerrno>

#include "base/errors.h"
#include "intake/archive_entries.h"
#include "intake/loose_document.h"
#include "intake/report_warnings.h"
#include "intake/worksheet_cutter.h"

namespace tollwick {

void RowBatch::Reserve(size_t bytes) {
  // A report row takes a few hundred bytes; one of 256 is a small one. Growth stays geometric
  // when the documents of an archive come one after the other.
  auto room = [](auto& list, size_t more) {
    if (list.capacity() - list.size() < more)
      list.reserve(std::max(list.size() + more, 2 * list.capacity()));
  };
  const size_t rows = bytes / 256;
  room(values_, rows * kSaleValues);
  room(purchase_, rows);
  if (preparer_ != nullptr) room(prepared_, rows);
}

void RowBatch::Warn(std::vector<Warning>& texts) {
  for (Warning& text : texts) warnings_.emplace_back(purchase_.size(), std::move(text));
  texts.clear();
}

void RowBatch::Replay(TableSink& sink, WarningList& warnings) const {
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

char* ReadArena::Take(size_t size, uint64_t chunk) {
  constexpr uint64_t kLeast = uint64_t{64} << 10, kMost = uint64_t{2} << 20;
  while (current_ < chunks_.size() && chunks_[current_].size() - used_ < size) {
    ++current_;
    used_ = 0;
  }
  if (current_ == chunks_.size()) {
    chunks_.emplace_back(std::max<size_t>(size, std::clamp(chunk, kLeast, kMost)));
    used_ = 0;
  }
  char* taken = chunks_[current_].get() + used_;
  used_ += size;
  return taken;
}

void ReadArena::Reset(size_t keep) {
  current_ = 0;
  used_ = 0;
  adopted_.clear();
  size_t held = 0;
  for (const LargeBuffer& chunk : chunks_) held += chunk.size();
  if (held > keep) chunks_.clear();
}

namespace {

// An archive read piece by piece; the memory it keeps stays valid until the arena is reset.
class ArenaArchive : public ArchiveBytes {
 public:
  ArenaArchive(FileSystem& files, const FileDescriptor& fd, const std::string& path, uint64_t size,
               ReadArena& arena, const std::function<void(uint64_t)>& hold)
      : files_(files), fd_(fd), path_(path), size_(size), arena_(arena), hold_(hold) {}
  uint64_t size() const override { return size_; }
  void ReadAt(uint64_t offset, char* out, size_t length) override {
    const ssize_t got = ReadFully(files_, fd_.get(), out, length, &offset);
    if (got < 0) RaiseReadError(path_, errno);
    if (static_cast<size_t>(got) < length) RaiseEndedEarly(path_, offset + uint64_t(got), size_);
  }
  char* Keep(size_t length) override { return arena_.Take(length, size_); }
  void Adopt(LargeBuffer memory) override { arena_.Adopt(std::move(memory)); }
  void Hold(uint64_t bytes) override {
    if (hold_) hold_(bytes);
  }

 private:
  FileSystem& files_;
  const FileDescriptor& fd_;
  const std::string& path_;
  uint64_t size_;
  ReadArena& arena_;
  const std::function<void(uint64_t)>& hold_;
};

}  // namespace

void ReadAndCut(ReportJob& job, FileSystem& files, const std::function<void(uint64_t)>& hold) {
  try {
    // The file is closed once read, whatever happens.
    const FileDescriptor fd = std::move(job.fd);
    std::vector<Warning> warnings;
    auto cut = [&](std::string_view document) {
      job.rows.Reserve(document.size());
      // The document lies in the job's own memory (its loose buffer or its arena), where the
      // cutting decodes values in place.
      const CutFindings found = CutWorksheets(
          std::span<char>(const_cast<char*>(document.data()), document.size()), job.rows);
      DocumentWarnings(job.path, document, found, warnings);
      job.rows.Warn(warnings);
    };
    if (!job.archive) {
      ReadOpenFile(files, fd, job.size, job.path, job.loose);
      job.loose.Shrink(LooseDocumentInPlace(job.loose.data(), job.loose.size()));
      cut(job.loose.view());
      return;
    }
    ArenaArchive archive(files, fd, job.path, job.size, job.pieces, hold);
    ArchiveWarnings(job.path, WalkArchive(archive, cut), warnings);
    job.rows.Warn(warnings);
  } catch (...) {
    job.error = std::current_exception();
  }
}

void ApplyJob(const ReportJob& job, TableSink& sink, WarningList& warnings) {
  job.rows.Replay(sink, warnings);
  if (job.error) std::rethrow_exception(job.error);
}

void ReportJob::Reset(const std::string& file_path, bool is_archive) {
  path = file_path;
  archive = is_archive;
  fd = FileDescriptor();
  size = 0;
  error = nullptr;
  Trim();
}

void ReportJob::Trim() {
  // A daily report and most archives of a month of them stay below this.
  constexpr size_t kKeep = size_t{1} << 20;
  rows.Clear(kKeep);
  loose.Clear(kKeep);
  pieces.Reset(kKeep);
}

}  // namespace tollwick
