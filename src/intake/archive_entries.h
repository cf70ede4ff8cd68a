// Finds the report entries of a ZIP archive by walking its local file headers only.
//
// Format read (all numbers little-endian): a 30-byte local header — signature 50 4B 03 04,
// version (2), flags (2), method (2), time (2), date (2), CRC-32 (4), compressed size (4),
// uncompressed size (4), name length (2), extra length (2) — then the name, the extra field and
// the data. The central directory is never read.
//   - An entry whose whole name, with ASCII capitals made small, is "fulfillmentreport.xml" is
//     a report entry; when its data is not empty it is handed on. Every report entry is, in
//     order.
//   - A stored entry (method 0) whose two sizes are equal is taken as it stands. A stored report
//     entry's data must match the CRC-32 of its header (an empty one: CRC 0), checked before it
//     is handed on; the data of other stored entries is passed over unread. A stored entry
//     written with a data descriptor declares size 0, so its data is taken for the next header.
//   - A deflated entry (method 8) that is not a report entry and declares its sizes (flag bit 3
//     clear) is passed over by its compressed size, not inflated.
//   - Any other deflated entry is inflated. A report entry with flag bit 3 clear takes its
//     CRC-32 and uncompressed size from the header, and its stream must end exactly at its
//     compressed size; with bit 3 set, the stream's own end tells where it ends, a data
//     descriptor follows (its signature 50 4B 07 08 optional, then CRC-32, compressed size and
//     uncompressed size, 4 bytes each) and gives the CRC and the size. The inflated data must
//     have that size and CRC; only a report entry's is kept.
//   - An entry of any other method, or a stored one whose sizes differ, is not read and not
//     skipped: the next header is looked for right after its 30 header bytes, which normally
//     ends the walk.
// The walk ends cleanly at the end of the file on an entry boundary, or at a central directory
// record (50 4B 01 02) or an end record (50 4B 05 06, 50 4B 06 06). A header, name, extra field
// or data cut short by the end of the file, data that does not match its CRC or size, or four
// bytes that are no signature, end it early. Nothing is allocated from a declared size: memory
// follows what the data holds.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "base/large_memory.h"

namespace tollwick {

// Random access to the bytes of an archive.
class ArchiveBytes {
 public:
  virtual ~ArchiveBytes() = default;
  // The archive's size when it was opened.
  virtual uint64_t size() const = 0;
  // Copies the bytes [offset, offset + length), which lie within size(), to `out`. Raises when
  // the file has become shorter.
  virtual void ReadAt(uint64_t offset, char* out, size_t length) = 0;
  // `length` bytes of memory that stay valid as long as the report entries handed on.
  virtual char* Keep(size_t length) = 0;
  // Keeps `memory` valid as long as the report entries handed on.
  virtual void Adopt(LargeBuffer memory) = 0;
  // Called before the walk holds `bytes` more of inflated data; may wait for room, or raise.
  virtual void Hold(uint64_t /*bytes*/) {}
};

enum class ArchiveEnd {
  NotZip,      // the file does not begin with a local header or an end record
  Complete,    // the walk ended cleanly
  Incomplete,  // the walk met an entry it did not read, or ended early
};

struct ArchiveWalk {
  ArchiveEnd end = ArchiveEnd::Complete;
  bool report_entry_met = false;  // a report entry, empty or not
};

// Calls `report` with each report entry's data; the data stays valid as long as `archive`'s
// kept memory.
ArchiveWalk WalkArchive(ArchiveBytes& archive, const std::function<void(std::string_view)>& report);

}  // namespace tollwick
