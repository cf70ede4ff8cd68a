#include "output/sheet_row_xml.h"

#include <charconv>
#include <cmath>

namespace tollwick {

namespace {

// Every integer up to this is a double exactly, with at most 16 digits, which "%.16G" prints
// as the integer itself.
constexpr double kExactIntegers = 9007199254740992.0;  // 2^53

void AppendUnsigned(std::string& out, uint64_t value) {
  char digits[20];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, end);
}

}  // namespace

std::string ColumnName(uint32_t column) {
  std::string name;
  for (uint64_t left = uint64_t{column} + 1; left > 0; left = (left - 1) / 26)
    name.insert(name.begin(), static_cast<char>('A' + (left - 1) % 26));
  return name;
}

void AppendNumber(std::string& out, double value) {
  if (value == std::floor(value) && std::fabs(value) < kExactIntegers) {
    if (std::signbit(value)) out.push_back('-');  // also "-0", as printf shows it
    AppendUnsigned(out, static_cast<uint64_t>(std::fabs(value)));
    return;
  }
  // The C++ library's conversion with a precision is printf's, without the locale.
  char text[40];
  auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 16);
  for (char* c = text; c != end; ++c)
    if (*c == 'e') *c = 'E';
  out.append(text, end);
}

const std::string& SheetRowXml::NameOf(uint32_t column) {
  while (names_.size() <= column)
    names_.push_back(ColumnName(static_cast<uint32_t>(names_.size())));
  return names_[column];
}

void SheetRowXml::BeginRow(std::string& out, uint32_t row) {
  row_number_.clear();
  AppendUnsigned(row_number_, uint64_t{row} + 1);
  row_start_ = out.size();
  has_cells_ = false;
  out.append("<row r=\"").append(row_number_).append("\">");
}

void SheetRowXml::BeginCell(std::string& out, uint32_t column, int32_t style) {
  has_cells_ = true;
  out.append("<c r=\"").append(NameOf(column)).append(row_number_);
  if (style != 0) {
    out.append("\" s=\"");
    AppendUnsigned(out, static_cast<uint64_t>(style));
  }
  out.push_back('"');
}

void SheetRowXml::Number(std::string& out, uint32_t column, double value, int32_t style) {
  BeginCell(out, column, style);
  out.append("><v>");
  AppendNumber(out, value);
  out.append("</v></c>");
}

void SheetRowXml::Text(std::string& out, uint32_t column, std::string_view text, int32_t style) {
  BeginCell(out, column, style);
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

void SheetRowXml::EndRow(std::string& out) {
  if (has_cells_)
    out.append("</row>");
  else
    out.resize(row_start_);
}

}  // namespace tollwick
