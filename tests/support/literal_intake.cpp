#include "support/literal_intake.h"

namespace tollwick::literal {

void ExtractBetween(std::string source, std::string open, std::string close, std::string& rest,
                    std::string& inner) {
  inner = "";
  size_t open_at = source.find(open);
  if (open_at == std::string::npos) return;
  std::string tail = source.substr(open_at + open.size());
  size_t close_at = tail.find(close);
  if (close_at == std::string::npos) return;
  inner = tail.substr(0, close_at);
  rest = source.substr(0, open_at) + tail.substr(close_at + close.size());
}

namespace {

void CutSheet(std::string sheet, bool purchase, size_t minimum, std::vector<CutRow>& out) {
  if (sheet.empty()) return;
  std::string row;
  ExtractBetween(sheet, "<Row>", "</Row>", sheet, row);
  ExtractBetween(sheet, "<Row>", "</Row>", sheet, row);
  while (!row.empty()) {
    std::vector<std::string> cells;
    std::string piece;
    ExtractBetween(row, "<Data", "</Data>", row, piece);
    while (!piece.empty()) {
      size_t gt = piece.find('>');
      if (gt != std::string::npos) piece = piece.substr(gt + 1);
      cells.push_back(piece);
      ExtractBetween(row, "<Data", "</Data>", row, piece);
    }
    if (cells.size() >= minimum) {
      cells.resize(minimum);
      out.push_back({purchase, cells});
    }
    ExtractBetween(sheet, "<Row>", "</Row>", sheet, row);
  }
}

}  // namespace

std::vector<CutRow> CutWorksheets(std::string document) {
  std::vector<CutRow> out;
  std::string sheet;
  ExtractBetween(document, "<Worksheet ss:Name=\"SKU detail\">", "</Worksheet>", document, sheet);
  CutSheet(sheet, false, 6, out);
  ExtractBetween(document, "<Worksheet ss:Name=\"Purchase History\">", "</Worksheet>", document,
                 sheet);
  CutSheet(sheet, true, 7, out);
  return out;
}

Findings FindInDocument(std::string document) {
  const std::string sku = "<Worksheet ss:Name=\"SKU detail\">";
  const std::string sale = "<Worksheet ss:Name=\"Purchase History\">";
  Findings found;
  found.has_worksheet =
      document.find(sku) != std::string::npos || document.find(sale) != std::string::npos;
  auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  std::string sheet;
  for (const std::string* start : {&sku, &sale}) {
    ExtractBetween(document, *start, "</Worksheet>", document, sheet);
    found.attributed_rows += count(sheet, "<Row") - count(sheet, "<Row>");
  }
  return found;
}

std::string LooseDocument(std::string_view file_bytes) {
  std::string text(file_bytes.substr(0, file_bytes.find('\0')));
  std::string out;
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

}  // namespace tollwick::literal
