#include "support/literal_archive.h"

#define ZLIB_CONST
#include <zlib.h>

namespace tollwick::literal {

bool Inflate(const std::string& input, std::string& out, size_t& consumed) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  z.next_in = reinterpret_cast<const Bytef*>(input.data());
  z.avail_in = uInt(input.size());
  int status = Z_OK;
  out.clear();
  while (status == Z_OK) {
    char chunk[4096];
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    status = inflate(&z, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - z.avail_out);
    if (status == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  consumed = z.total_in;
  inflateEnd(&z);
  return status == Z_STREAM_END;
}

uint32_t Crc32(std::string_view data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

ArchiveResult WalkArchive(const std::string& a) {
  auto u16 = [&](size_t at) { return uint32_t(uint8_t(a[at]) | uint8_t(a[at + 1]) << 8); };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  ArchiveResult r;
  if (a.size() < 4 || (u32(0) != 0x04034B50u && u32(0) != 0x06054B50u))
    return r.end = End::NotZip, r;
  bool skipped = false;
  size_t at = 0;
  while (at != a.size()) {
    if (a.size() - at < 4) return r.end = End::Incomplete, r;
    const uint32_t signature = u32(at);
    if (signature == 0x02014B50u || signature == 0x06054B50u || signature == 0x06064B50u) break;
    if (signature != 0x04034B50u || a.size() - at < 30) return r.end = End::Incomplete, r;
    const uint32_t flags = u16(at + 6), method = u16(at + 8), name_length = u16(at + 26),
                   extra_length = u16(at + 28);
    uint32_t crc = u32(at + 14), compressed = u32(at + 18), size = u32(at + 22);
    if (!(method == 0 && compressed == size) && method != 8) {
      skipped = true;
      at += 30;
      continue;
    }
    if (at + 30 + name_length + extra_length > a.size()) return r.end = End::Incomplete, r;
    std::string name = a.substr(at + 30, name_length);
    for (char& c : name)
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    const bool report = name == "fulfillmentreport.xml";
    r.report_entry_met = r.report_entry_met || report;
    const size_t data_at = at + 30 + name_length + extra_length;
    std::string data;
    const bool streamed = (flags & 8) != 0;
    if (method == 0) {
      if (data_at + size > a.size()) return r.end = End::Incomplete, r;
      data = a.substr(data_at, size);
      at = data_at + size;
      // A stored report must match its CRC, an empty one too.
      if (report && Crc32(data) != crc) return r.end = End::Incomplete, r;
    } else if (!report && !streamed) {
      // Passed over by its compressed size, not inflated.
      if (data_at + compressed > a.size()) return r.end = End::Incomplete, r;
      at = data_at + compressed;
    } else {
      if (!streamed && data_at + compressed > a.size()) return r.end = End::Incomplete, r;
      size_t consumed = 0;
      if (!Inflate(streamed ? a.substr(data_at) : a.substr(data_at, compressed), data, consumed))
        return r.end = End::Incomplete, r;
      size_t end = data_at + consumed;
      if (streamed) {
        if (a.size() - end >= 4 && u32(end) == 0x08074B50u) end += 4;
        if (a.size() - end < 12) return r.end = End::Incomplete, r;
        crc = u32(end);
        size = u32(end + 8);
        end += 12;
      } else if (consumed != compressed) {
        return r.end = End::Incomplete, r;
      }
      if (data.size() != size || Crc32(data) != crc) return r.end = End::Incomplete, r;
      at = end;
    }
    if (report && !data.empty()) r.reports.push_back(data);
  }
  r.end = skipped ? End::Incomplete : End::Complete;
  return r;
}

}  // namespace tollwick::literal
