// Finds the report entries of a ZIP archive by walking its local file headers only.
//
// Format read (all numbers little-endian): a 30-byte local header — signature 50 4B 03 04,
// version (2), flags (2), method (2), time (2), date (2), CRC-32 (4), compressed size (4),
// uncompressed size (4), name length (2), extra length (2) — then the name, the extra field and
// the data. The central directory is never read; the walk ends at the first record that is not
// a local header (in a complete archive, the first central directory record).
//   - An entry whose method is not 0 (stored) or whose two sizes differ is not skipped: the next
//     header is looked for right after its 30 header bytes, which normally ends the walk.
//   - An entry whose name, extra field or data runs past the end of the archive ends the walk;
//     none of it is handed on. Nothing is allocated from a declared size.
//   - A stored entry written with a data descriptor declares size 0, so its data is taken as
//     the next header, which normally ends the walk.
//   - An entry whose whole name, with ASCII capitals made small, is "fulfillmentreport.xml" and
//     whose data is not empty is a report entry. Every report entry is handed on, in order; the
//     CRC is not checked.
// Only headers, names and the data of report entries are read: the other entries' data is
// passed over unread, so a large archive of other files costs neither time nor memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tollwick {

// Random access to the bytes of an archive.
class ArchiveBytes {
 public:
  virtual ~ArchiveBytes() = default;
  virtual uint64_t size() const = 0;
  // The bytes [offset, offset + length) within size(), valid until the next call; shorter
  // when the archive ended early (a file cut short while it is read).
  virtual std::string_view Read(uint64_t offset, size_t length) = 0;
};

// Calls `report` with each report entry's data, valid during the call.
void ForEachReportEntry(ArchiveBytes& archive, const std::function<void(std::string_view)>& report);

// The same for an archive held in memory; the data are views into `archive`.
void ForEachReportEntry(std::string_view archive,
                        const std::function<void(std::string_view)>& report);

}  // namespace tollwick
