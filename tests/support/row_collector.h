// A TableSink that keeps every row it is handed, as values, for tests and fuzz targets that
// compare the intake's rows with the word-for-word cutting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "intake/table_sink.h"
#include "intake/worksheet_cutter.h"
#include "support/literal_intake.h"

namespace tollwick::testing {

class RowCollector : public TableSink {
 public:
  std::vector<literal::CutRow> rows;
  void SkuRow(std::span<const std::string_view, kSkuValues> values) override {
    rows.push_back({false, {values.begin(), values.end()}});
  }
  void SaleRow(std::span<const std::string_view, kSaleValues> values) override {
    rows.push_back({true, {values.begin(), values.end()}});
  }
};

// The rows CutWorksheets hands on for `document`.
inline std::vector<literal::CutRow> CutRows(std::string_view document) {
  RowCollector collector;
  std::string writable(document);  // values are decoded in place
  CutWorksheets(writable, collector);
  return std::move(collector.rows);
}

}  // namespace tollwick::testing
