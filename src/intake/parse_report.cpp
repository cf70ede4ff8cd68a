#include "intake/parse_report.h"

#include "intake/loose_document.h"
#include "intake/worksheet_cutter.h"
#include "tables/file_bytes.h"

namespace tollwick {

namespace {

class TableSink : public RowSink {
 public:
  explicit TableSink(RunState& state) : state_(state) {}
  void SkuRow(std::span<const std::string_view, kSkuValues> v) override {
    state_.Skus.AddSku(v[0], v[1], v[2], v[3], v[4], v[5]);
  }
  void SaleRow(std::span<const std::string_view, kSaleValues> v) override {
    state_.Sales.AddSale(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
  }

 private:
  RunState& state_;
};

}  // namespace

void ParseReport(RunState& state, const std::string& path, std::string_view report_text) {
  FileBytes buffer;
  ParseReport(state, path, report_text, buffer);
}

void ParseReport(RunState& state, const std::string& path, std::string_view report_text,
                 FileBytes& bytes) {
  TableSink sink(state);
  if (!report_text.empty()) {
    CutWorksheets(report_text, sink);
    return;
  }
  if (ReadWholeFile(AbsolutePath(path), bytes) != OpenResult::Read) return;
  bytes.Shrink(LooseDocumentInPlace(bytes.data(), bytes.size()));
  CutWorksheets(bytes.view(), sink);
}

}  // namespace tollwick
