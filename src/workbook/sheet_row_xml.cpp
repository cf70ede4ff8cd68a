#include "workbook/sheet_row_xml.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tollwick {

namespace {

// Every integer up to this is a double exactly, with at most 16 digits, which "%.16G" prints
// as the integer itself.
constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
// Room for the longest number "%.16G" prints ("-1.234567890123456E-308") and more.
constexpr size_t kNumberRoom = 32;

char* Put(char* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

char* PutUnsigned(char* at, uint64_t value) {
  return std::to_chars(at, at + 20, value).ptr;
}

// Writes `value` as "%.16G" prints it in the C locale, in at most kNumberRoom bytes.
char* PutNumber(char* at, double value) {
  if (value == std::floor(value) && std::fabs(value) < kExactIntegers) {
    if (std::signbit(value)) *at++ = '-';  // also "-0", as printf shows it
    return PutUnsigned(at, static_cast<uint64_t>(std::fabs(value)));
  }
  // The C++ library's conversion with a precision is printf's, without the locale.
  char* end = std::to_chars(at, at + kNumberRoom, value, std::chars_format::general, 16).ptr;
  for (char* c = at; c != end; ++c)
    if (*c == 'e') *c = 'E';
  return end;
}

}  // namespace

std::string ColumnName(uint32_t column) {
  std::string name;
  for (uint64_t left = uint64_t{column} + 1; left > 0; left = (left - 1) / 26)
    name.insert(name.begin(), static_cast<char>('A' + (left - 1) % 26));
  return name;
}

const std::string& SheetRowXml::OpeningOf(uint32_t column) {
  while (openings_.size() <= column)
    openings_.push_back("<c r=\"" + ColumnName(static_cast<uint32_t>(openings_.size())));
  return openings_[column];
}

void SheetRowXml::BeginRow(std::string& out, uint32_t row) {
  row_number_.clear();
  char digits[20];
  row_number_.append(digits, PutUnsigned(digits, uint64_t{row} + 1));
  row_start_ = out.size();
  has_cells_ = false;
  out.append("<row r=\"").append(row_number_).append("\">");
}

// Writes the cell's start up to the end of its attributes, without the closing '>'.
char* SheetRowXml::PutCellStart(char* at, uint32_t column, int32_t style) {
  has_cells_ = true;
  at = Put(at, OpeningOf(column));
  at = Put(at, row_number_);
  if (style != 0) at = PutUnsigned(Put(at, "\" s=\""), static_cast<uint64_t>(style));
  *at++ = '"';
  return at;
}

void SheetRowXml::Number(std::string& out, uint32_t column, double value, int32_t style) {
  // The opening (at most 3 letters), the row (7 digits), the style, the value and the tags.
  char cell[64 + kNumberRoom];
  char* at = Put(PutCellStart(cell, column, style), "><v>");
  at = Put(PutNumber(at, value), "</v></c>");
  out.append(cell, at);
}

void SheetRowXml::Text(std::string& out, uint32_t column, std::string_view text, int32_t style) {
  char start[64];
  out.append(start, PutCellStart(start, column, style));
  bool keep_spaces = !text.empty() && (text.front() == ' ' || text.back() == ' ');
  out.append(keep_spaces ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">"
                         : " t=\"inlineStr\"><is><t>");
  for (char c : text) {
    switch (c) {
      case '&':
        out.append("&amp;");
        break;
      case '<':
        out.append("&lt;");
        break;
      case '>':
        out.append("&gt;");
        break;
      default:
        out.push_back(c);
    }
  }
  out.append("</t></is></c>");
}

void SheetRowXml::EndRow(std::string& out) const {
  if (has_cells_)
    out.append("</row>");
  else
    out.resize(row_start_);
}

}  // namespace tollwick
