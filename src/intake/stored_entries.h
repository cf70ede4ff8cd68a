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
#pragma once

#include <functional>
#include <string_view>

namespace tollwick {

// Calls `report` with each report entry's data, a view into `archive`.
void ForEachReportEntry(std::string_view archive,
                        const std::function<void(std::string_view)>& report);

}  // namespace tollwick
