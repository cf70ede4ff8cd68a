// Completing a workbook whose dated sheets the library wrote with their header rows alone: the
// zip file is rewritten with each such sheet's rows, packed apart by a RowPacker, put in just
// before the sheet's "</sheetData>". A sheet is found by its name as the package describes it:
// "xl/workbook.xml" lists the sheet with a relationship id, and "xl/_rels/workbook.xml.rels"
// gives that relationship's part. The sheet's own text is inflated, its <dimension> made to
// cover the rows, and packed again around them (a stream up to that point, the rows, a final
// stream from there), so that its entry is one valid deflate stream with its size and CRC-32
// combined from the three. Every other entry, and the order of all, stays byte for byte; the
// offsets in the central directory follow.
#pragma once

#include <span>
#include <string>

#include "base/file_system.h"
#include "workbook/row_packer.h"

namespace tollwick {

struct SheetRows {
  std::string sheet;  // the sheet's name in the workbook, "Days"
  PackedPart rows;
  uint32_t last_row = 0;  // the sheet's last row with the rows in, from 0
};

// Rewrites the zip file open for reading and writing as `zip_fd`, reading the rows from
// `rows_fd`, through `files`; `level` is zlib's level for the sheets' own text. First the file is
// checked: its directory, and every XML part (".xml", ".rels") must end with the end of its root
// element, since the library does not check its writes of each part into a temporary file; without
// sheets that is all. Raises EInOutError "Cannot write file "<path>". <reason>" when a write
// fails, when the file, a part or a named sheet is not what the library writes whole (then
// `library_error`, the errno that the library's writing probably met, is the reason, when not
// 0), or when an entry would outgrow the 4 GiB that a zip file without its 64-bit extensions
// can describe.
void SpliceSheetRows(FileSystem& files, int zip_fd, int rows_fd, std::span<const SheetRows> sheets,
                     const std::string& path, int level, int library_error = 0);

}  // namespace tollwick
