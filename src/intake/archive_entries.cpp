#include "intake/archive_entries.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#define ZLIB_CONST
#include <zlib.h>

#include "base/text.h"
#include "intake/inflate_stream.h"

namespace tollwick {

namespace {

constexpr size_t kHeaderSize = 30;
constexpr uint32_t kLocalHeader = 0x04034B50u;
constexpr uint32_t kCentralHeader = 0x02014B50u;
constexpr uint32_t kEndRecord = 0x06054B50u;
constexpr uint32_t kZip64EndRecord = 0x06064B50u;
constexpr uint32_t kDescriptor = 0x08074B50u;
constexpr uint32_t kStreamedFlag = 1u << 3;
constexpr uint32_t kStored = 0;
constexpr uint32_t kDeflated = 8;
constexpr size_t kChunk = size_t{1} << 16;
// A stored report is read and checked a piece at a time, each piece while it is in the cache.
constexpr size_t kCheckedPiece = size_t{1} << 17;
// Inflated reports up to this size are copied next to the archive's other pieces, and their
// memory serves the next entry; larger ones keep the memory they were inflated into.
constexpr size_t kCopiedReport = size_t{1} << 20;
constexpr std::string_view kReportEntry = "fulfillmentreport.xml";

uint32_t Le16(const char* bytes) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[0])) |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[1])) << 8;
}
uint32_t Le32(const char* bytes) {
  return Le16(bytes) | Le16(bytes + 2) << 16;
}

bool IsReportEntryName(std::string_view name) {
  return name.size() == kReportEntry.size() && LowerAscii(name) == kReportEntry;
}

// The compressed bytes [from, from + length) of `archive`, a chunk at a time, into `buffer`
// (kChunk bytes).
class ChunkReader {
 public:
  ChunkReader(ArchiveBytes& archive, uint64_t from, uint64_t length, char* buffer)
      : archive_(archive), at_(from), left_(length), buffer_(buffer) {}
  std::string_view Next() {
    const size_t size = static_cast<size_t>(std::min<uint64_t>(left_, kChunk));
    archive_.ReadAt(at_, buffer_, size);
    at_ += size;
    left_ -= size;
    return {buffer_, size};
  }

 private:
  ArchiveBytes& archive_;
  uint64_t at_, left_;
  char* buffer_;
};

class Walker {
 public:
  Walker(ArchiveBytes& archive, const std::function<void(std::string_view)>& report)
      : archive_(archive), report_(report), size_(archive.size()) {}

  ArchiveWalk Run() {
    char head[kHeaderSize];
    if (size_ < 4) return {ArchiveEnd::NotZip, false};
    archive_.ReadAt(0, head, 4);
    if (Le32(head) != kLocalHeader && Le32(head) != kEndRecord) return {ArchiveEnd::NotZip, false};
    bool passed_over = false;  // an entry that was not read
    for (uint64_t at = 0;;) {
      if (at == size_) break;
      if (size_ - at < 4) return Early();
      const size_t got = static_cast<size_t>(std::min<uint64_t>(kHeaderSize, size_ - at));
      archive_.ReadAt(at, head, got);
      const uint32_t signature = Le32(head);
      if (signature == kCentralHeader || signature == kEndRecord || signature == kZip64EndRecord)
        break;
      if (signature != kLocalHeader || got < kHeaderSize) return Early();
      const uint32_t method = Le16(head + 8);
      const uint32_t compressed = Le32(head + 18), size = Le32(head + 22);
      if ((method != kStored && method != kDeflated) || (method == kStored && compressed != size)) {
        // Not read, and not skipped either: the next header is looked for in its name.
        passed_over = true;
        at += kHeaderSize;
        continue;
      }
      const uint32_t name_length = Le16(head + 26), extra_length = Le16(head + 28);
      const uint64_t name_at = at + kHeaderSize;
      if (size_ - name_at < uint64_t{name_length} + extra_length) return Early();
      name_.resize(name_length);
      archive_.ReadAt(name_at, name_.data(), name_length);
      const bool report = IsReportEntryName(name_);
      walk_.report_entry_met |= report;
      const uint64_t data_at = name_at + name_length + extra_length;
      if (method == kStored) {
        if (size_ - data_at < size) return Early();
        at = data_at + size;
        if (report && !ReadStoredReport(data_at, size, Le32(head + 14))) return Early();
        continue;
      }
      const bool streamed = (Le16(head + 6) & kStreamedFlag) != 0;
      if (!streamed && size_ - data_at < compressed) return Early();
      if (!streamed && !report) {
        at = data_at + compressed;  // its sizes are known: nothing in it is needed
        continue;
      }
      if (!Inflate(data_at, streamed, Le32(head + 14), compressed, size, report, at))
        return Early();
    }
    walk_.end = passed_over ? ArchiveEnd::Incomplete : ArchiveEnd::Complete;
    return walk_;
  }

 private:
  ArchiveWalk Early() {
    walk_.end = ArchiveEnd::Incomplete;
    return walk_;
  }

  // Reads a stored report entry and hands it on when its data matches `crc`.
  bool ReadStoredReport(uint64_t data_at, uint32_t size, uint32_t crc) {
    if (size == 0) return crc == 0;
    char* data = archive_.Keep(size);
    uLong sum = crc32(0, nullptr, 0);
    for (size_t done = 0; done < size;) {
      const size_t piece = std::min<size_t>(kCheckedPiece, size - done);
      archive_.ReadAt(data_at + done, data + done, piece);
      sum = crc32(sum, reinterpret_cast<const Bytef*>(data + done), static_cast<uInt>(piece));
      done += piece;
    }
    if (sum != crc) return false;
    report_({data, size});
    return true;
  }

  // Inflates the deflated entry whose data begins at `data_at` and checks it; on success hands
  // a report entry's data on and sets `next` to the offset after the entry.
  bool Inflate(uint64_t data_at, bool streamed, uint32_t crc, uint32_t compressed, uint32_t size,
               bool report, uint64_t& next) {
    if (!chunk_) chunk_ = std::make_unique_for_overwrite<char[]>(kChunk);
    ChunkReader reader(archive_, data_at, streamed ? size_ - data_at : compressed, chunk_.get());
    // A streamed entry's sizes are in its descriptor; 32 bits of size are all it can declare.
    const Inflated inflated =
        InflateStream([&reader] { return reader.Next(); }, streamed ? UINT32_MAX : size, output_,
                      report, [this](uint64_t bytes) { archive_.Hold(bytes); });
    if (!inflated.ended) return false;
    uint64_t end = data_at + inflated.consumed;
    if (streamed) {
      char descriptor[16];
      if (size_ - end >= 4) {
        archive_.ReadAt(end, descriptor, 4);
        if (Le32(descriptor) == kDescriptor) end += 4;
      }
      if (size_ - end < 12) return false;
      archive_.ReadAt(end, descriptor, 12);
      crc = Le32(descriptor);
      size = Le32(descriptor + 8);
      end += 12;
    } else if (inflated.consumed != compressed) {
      return false;
    }
    if (inflated.produced != size || inflated.crc != crc) return false;
    next = end;
    if (!report || size == 0) return true;
    if (size <= kCopiedReport) {
      archive_.Hold(size);
      char* data = archive_.Keep(size);
      std::memcpy(data, output_.view().data(), size);
      report_({data, size});
    } else {
      LargeBuffer kept = output_.TakeKept();
      const std::string_view data(kept.get(), size);
      archive_.Adopt(std::move(kept));
      report_(data);
    }
    return true;
  }

  ArchiveBytes& archive_;
  const std::function<void(std::string_view)>& report_;
  const uint64_t size_;
  ArchiveWalk walk_;
  std::string name_;
  InflateOutput output_;
  std::unique_ptr<char[]> chunk_;  // compressed bytes on their way to zlib
};

}  // namespace

ArchiveWalk WalkArchive(ArchiveBytes& archive,
                        const std::function<void(std::string_view)>& report) {
  return Walker(archive, report).Run();
}

}  // namespace tollwick
