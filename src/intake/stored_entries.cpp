#include "intake/stored_entries.h"

#include <cstdint>

#include "base/text.h"

namespace tollwick {

namespace {

constexpr size_t kHeaderSize = 30;
constexpr uint32_t kLocalHeaderSignature = 0x04034B50u;
constexpr std::string_view kReportEntry = "fulfillmentreport.xml";

uint32_t Le16(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}
uint32_t Le32(std::string_view bytes, size_t at) {
  return Le16(bytes, at) | Le16(bytes, at + 2) << 16;
}

bool IsReportEntryName(std::string_view name) {
  return name.size() == kReportEntry.size() && LowerAscii(name) == kReportEntry;
}

}  // namespace

void ForEachReportEntry(ArchiveBytes& archive,
                        const std::function<void(std::string_view)>& report) {
  const uint64_t size_of_archive = archive.size();
  uint64_t at = 0;
  while (size_of_archive - at >= kHeaderSize) {
    std::string_view header = archive.Read(at, kHeaderSize);
    if (header.size() < kHeaderSize || Le32(header, 0) != kLocalHeaderSignature) return;
    uint32_t method = Le16(header, 8);
    uint32_t compressed = Le32(header, 18);
    uint32_t size = Le32(header, 22);
    if (method != 0 || compressed != size) {
      at += kHeaderSize;
      continue;
    }
    size_t name_length = Le16(header, 26);
    size_t extra_length = Le16(header, 28);
    uint64_t left = size_of_archive - at - kHeaderSize;
    // Each size is below 2^32, so the sum cannot overflow.
    if (uint64_t{name_length} + extra_length + size > left) return;
    uint64_t data_at = at + kHeaderSize + name_length + extra_length;
    at = data_at + size;
    if (size == 0) continue;
    std::string_view name = archive.Read(data_at - extra_length - name_length, name_length);
    if (name.size() < name_length) return;
    if (!IsReportEntryName(name)) continue;
    std::string_view data = archive.Read(data_at, size);
    if (data.size() < size) return;
    report(data);
  }
}

namespace {

class MemoryArchive : public ArchiveBytes {
 public:
  explicit MemoryArchive(std::string_view bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  std::string_view Read(uint64_t offset, size_t length) override {
    return bytes_.substr(offset, length);
  }

 private:
  std::string_view bytes_;
};

}  // namespace

void ForEachReportEntry(std::string_view archive,
                        const std::function<void(std::string_view)>& report) {
  MemoryArchive bytes(archive);
  ForEachReportEntry(bytes, report);
}

}  // namespace tollwick
