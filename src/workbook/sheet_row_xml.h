// The XML of worksheet rows, written the way the workbook library writes them when it streams
// rows: `<row r="N">`, then one `<c>` element per cell in column order, then `</row>`; a number
// as printf's "%.16G" shows it, a style as its index, a text inline. Made for the dated sheets,
// whose millions of cells the library would format one printf call and one allocation at a
// time; the rows are then put into the sheet that the library wrote with the header row alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tollwick {

// The column's name in a cell reference: A to Z, AA to ZZ, AAA onwards (`column` from 0).
std::string ColumnName(uint32_t column);

class SheetRowXml {
 public:
  // Rows and columns count from 0; a style of 0 is none. Cells of a row come in column order.
  // A number is written as "%.16G" prints it in the C locale.
  void BeginRow(std::string& out, uint32_t row);
  void Number(std::string& out, uint32_t column, double value, int32_t style);
  // A text of printable characters; "&", "<" and ">" are escaped, and a text that begins or
  // ends with a space keeps it.
  void Text(std::string& out, uint32_t column, std::string_view text, int32_t style);
  // A row without cells leaves no trace.
  void EndRow(std::string& out) const;

 private:
  char* PutCellStart(char* at, uint32_t column, int32_t style);
  const std::string& OpeningOf(uint32_t column);

  std::vector<std::string> openings_;  // "<c r=\"" and the column's name, by column
  std::string row_number_;             // of the row being written, from 1
  size_t row_start_ = 0;               // where its text begins in `out`
  bool has_cells_ = false;
};

}  // namespace tollwick
