#include "support/literal_intake.h"

#include <algorithm>
#include <utility>

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

std::string DecodeReferences(const std::string& value) {
  const std::pair<std::string, char> named[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (size_t i = 0; i < value.size();) {
    const auto match = [&](const auto& n) {
      return value.compare(i, n.first.size(), n.first) == 0;
    };
    if (const auto* n = std::find_if(std::begin(named), std::end(named), match);
        n != std::end(named)) {
      out += n->second;
      i += n->first.size();
      continue;
    }
    if (value.compare(i, 2, "&#") == 0) {
      bool hex = value.compare(i, 3, "&#x") == 0;
      const std::string digits = hex ? "0123456789abcdefABCDEF" : "0123456789";
      size_t from = i + (hex ? 3 : 2), to = from;
      while (to < value.size() && digits.find(value[to]) != std::string::npos) ++to;
      if (to > from && to < value.size() && value[to] == ';') {
        // Leading zeros do not count; more than seven digits left is beyond any character.
        std::string number = value.substr(from, to - from);
        number.erase(0, std::min(number.find_first_not_of('0'), number.size() - 1));
        unsigned long c = number.size() <= 7 ? std::stoul(number, nullptr, hex ? 16 : 10) : ~0ul;
        bool allowed = c == 9 || c == 10 || c == 13 || (c >= 0x20 && c <= 0xD7FF) ||
                       (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
        if (allowed) {
          // UTF-8: a lead byte marking the length, then 6 bits in each following byte.
          const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
          const unsigned long lead = (0xF00ul >> (tail + 1)) & 0xFF;
          out += static_cast<char>(tail == 0 ? c : lead | (c >> (6 * tail)));
          for (int k = tail - 1; k >= 0; --k)
            out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
          i = to + 1;
          continue;
        }
      }
    }
    out += value[i++];
  }
  return out;
}

namespace {

const std::string kSkuSheet = "<Worksheet ss:Name=\"SKU detail\">";
const std::string kSaleSheet = "<Worksheet ss:Name=\"Purchase History\">";

void CutSheet(std::string sheet, bool purchase, size_t minimum, std::vector<CutRow>& out) {
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
      for (std::string& cell : cells) cell = DecodeReferences(cell);
      out.push_back({purchase, cells});
    }
    ExtractBetween(sheet, "<Row>", "</Row>", sheet, row);
  }
}

}  // namespace

std::vector<CutRow> CutWorksheets(std::string document) {
  std::vector<CutRow> out;
  std::string sheet;
  ExtractBetween(document, kSkuSheet, "</Worksheet>", document, sheet);
  CutSheet(sheet, false, 6, out);
  ExtractBetween(document, kSaleSheet, "</Worksheet>", document, sheet);
  CutSheet(sheet, true, 7, out);
  return out;
}

Findings FindInDocument(std::string document) {
  Findings found;
  found.has_worksheet =
      document.find(kSkuSheet) != document.npos || document.find(kSaleSheet) != document.npos;
  auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  std::string sheet;
  for (const std::string* start : {&kSkuSheet, &kSaleSheet}) {
    ExtractBetween(document, *start, "</Worksheet>", document, sheet);
    found.attributed_rows += count(sheet, "<Row") - count(sheet, "<Row>");
  }
  return found;
}

std::string LooseDocument(std::string_view file_bytes) {
  std::string text(file_bytes.substr(0, file_bytes.find('\0')));
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  return text;
}

}  // namespace tollwick::literal
