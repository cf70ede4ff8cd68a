// Cuts a report document into the rows that reach the product and the sale table.
//
// A report is an XML spreadsheet, but it is not parsed as XML: it is cut with fixed markers.
//   - The product worksheet runs from the first `<Worksheet ss:Name="SKU detail">` to the first
//     `</Worksheet>` after it; that piece is then cut out of the document, and the purchase
//     worksheet is looked for in what is left: from the first
//     `<Worksheet ss:Name="Purchase History">` to the first `</Worksheet>` after it. Both
//     markers may form across the place where the product worksheet was cut out.
//   - Rows are the pieces between `<Row>` and `</Row>`, cut out one after the other (a marker
//     may again form across the place of a removed row). The first row of each worksheet is
//     skipped; an empty row ends its worksheet. `<Row ...>` with attributes is no row.
//   - Cells are the pieces between `<Data` and `</Data>` inside a row, cut the same way; the
//     value is the text after the piece's first '>' (the whole piece if it has none). An empty
//     piece ends the row's cells. A row in the common plain shape is cut in one pass over its
//     '<' bytes instead, with the same result, and the common cell
//     `<Cell><Data ss:Type="String">value</Data></Cell>` in one step.
//   - A product row with at least 6 values gives its first 6, a purchase row with at least 7
//     values its first 7. The references in them are decoded (xml_references.h), in the
//     document itself, once the row is cut; nothing is trimmed.
// All product rows come before all purchase rows, each in document order. Linear time.
//
// What the cutting finds out on the way, for the run's warnings: whether either worksheet
// start marker stands in the document, and how many row start tags in the two worksheets carry
// attributes ("<Row" not followed by ">", counted in each worksheet's whole text as it was cut
// out of the document), whose rows are passed over.
#pragma once

#include <span>
#include <string_view>

#include "intake/row_sink.h"

namespace tollwick {

struct CutFindings {
  bool has_worksheet = false;
  size_t attributed_rows = 0;
};

// The views handed to `sink` point into the document (or into a copy of the purchase
// worksheet that lives until CutWorksheets returns). The bytes of the values handed on are
// rewritten where they stand; the markers and what lies outside the values stay as they were.
CutFindings CutWorksheets(std::span<char> document, RowSink& sink);

}  // namespace tollwick
