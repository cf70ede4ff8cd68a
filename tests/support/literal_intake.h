// Word-for-word versions of the report reader's cutting (slow on purpose), the references.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tollwick::literal {

// Inner: the text between the first `open` and the first `close` after it (always written, empty
// when either is missing). Rest: the source without open, inner and close (only when both found).
void ExtractBetween(std::string source, std::string open, std::string close, std::string& rest,
                    std::string& inner);

// A value with its references decoded: the named five, then "&#" with decimal digits or "&#x"
// with hex digits and ";", of a character XML allows, as UTF-8; every other '&' as it is.
std::string DecodeReferences(const std::string& value);

// One row as the intake hands it on: 6 values of a product row or 7 of a purchase row.
struct CutRow {
  bool purchase = false;
  std::vector<std::string> values;
  friend bool operator==(const CutRow&, const CutRow&) = default;
  friend std::ostream& operator<<(std::ostream& os, const CutRow& row) {
    os << (row.purchase ? "sale" : "sku");
    for (const std::string& value : row.values) os << " \"" << value << '"';
    return os;
  }
};

// Both worksheets of a document cut with ExtractBetween alone, in the order rows are handed on,
// each value decoded by DecodeReferences.
std::vector<CutRow> CutWorksheets(std::string document);

// What the warnings need of a document: whether it holds either worksheet start marker, and
// the occurrences of "<Row" less those of "<Row>" in the two worksheets as they are cut.
struct Findings {
  bool has_worksheet = false;
  size_t attributed_rows = 0;
  friend bool operator==(const Findings&, const Findings&) = default;
};
Findings FindInDocument(std::string document);

// A loose file's document: its bytes up to the first NUL, without any CR or LF.
std::string LooseDocument(std::string_view file_bytes);

}  // namespace tollwick::literal
