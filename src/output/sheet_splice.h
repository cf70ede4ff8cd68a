// Completing a workbook whose dated sheets the library wrote with their header rows alone: the
// zip file is rewritten with each such sheet's rows, packed apart by a RowPacker, put in just
// before the sheet's "</sheetData>". The sheet's own text is inflated and packed again around
// them (a stream up to that point, the rows, a final stream from there), so that its entry is one
// valid deflate stream with its size and CRC-32 combined from the three. Every other entry, and
// the order of all, stays byte for byte; the offsets in the central directory follow.
#pragma once

#include <span>
#include <string>

#include "output/row_packer.h"

namespace tollwick {

struct SheetRows {
  std::string entry;  // the sheet's name in the zip file, "xl/worksheets/sheet5.xml"
  PackedPart rows;
};

// Rewrites the zip file open for reading and writing as `zip_fd`, reading the rows from
// `rows_fd`; `level` is zlib's level for the sheets' own text. First the file is checked: its
// directory, and every XML part (".xml", ".rels") must end with the end of its root element,
// since the library does not check its writes of each part into a temporary file; without
// sheets that is all. Raises EInOutError "Cannot write file "<path>". <reason>" when a write
// fails, when the file, a part or a named sheet is not what the library writes whole (then
// `library_error`, the errno that the library's writing probably met, is the reason, when not
// 0), or when an entry would outgrow the 4 GiB that a zip file without its 64-bit extensions
// can describe.
void SpliceSheetRows(int zip_fd, int rows_fd, std::span<const SheetRows> sheets,
                     const std::string& path, int level, int library_error = 0);

}  // namespace tollwick
