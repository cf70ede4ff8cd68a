#include "intake/parse_report.h"

#include "intake/loose_document.h"
#include "intake/worksheet_cutter.h"

namespace tollwick {

void ParseReportText(std::string_view text, RowSink& sink) {
  CutWorksheets(text, sink);
}

void ParseReportFile(const std::string& path, RowSink& sink, FileBytes& buffer) {
  if (ReadWholeFile(AbsolutePath(path), buffer) != OpenResult::Read) return;
  ParseLooseReport(buffer, sink);
}

void ParseLooseReport(FileBytes& bytes, RowSink& sink) {
  bytes.Shrink(LooseDocumentInPlace(bytes.data(), bytes.size()));
  CutWorksheets(bytes.view(), sink);
}

}  // namespace tollwick
