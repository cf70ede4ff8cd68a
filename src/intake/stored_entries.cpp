#include "intake/stored_entries.h"

#include <cstdint>

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
  if (name.size() != kReportEntry.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kReportEntry[i]) return false;
  }
  return true;
}

}  // namespace

void ForEachReportEntry(std::string_view archive,
                        const std::function<void(std::string_view)>& report) {
  size_t at = 0;
  while (archive.size() - at >= kHeaderSize) {
    std::string_view header = archive.substr(at, kHeaderSize);
    if (Le32(header, 0) != kLocalHeaderSignature) return;
    uint32_t method = Le16(header, 8);
    uint32_t compressed = Le32(header, 18);
    uint32_t size = Le32(header, 22);
    if (method != 0 || compressed != size) {
      at += kHeaderSize;
      continue;
    }
    size_t name_length = Le16(header, 26);
    size_t extra_length = Le16(header, 28);
    size_t left = archive.size() - at - kHeaderSize;
    // Sizes are at most 2^32 - 1 each, so the sum cannot overflow a 64-bit size_t.
    if (static_cast<uint64_t>(name_length) + extra_length + size > left) return;
    std::string_view name = archive.substr(at + kHeaderSize, name_length);
    std::string_view data = archive.substr(at + kHeaderSize + name_length + extra_length, size);
    at += kHeaderSize + name_length + extra_length + size;
    if (!data.empty() && IsReportEntryName(name)) report(data);
  }
}

}  // namespace tollwick
