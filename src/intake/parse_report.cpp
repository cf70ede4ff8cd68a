#include "intake/parse_report.h"

#include "intake/loose_document.h"
#include "intake/worksheet_cutter.h"

namespace tollwick {

void ParseReportText(std::string_view text, RowSink& sink) {
  CutWorksheets(text, sink);
}

void ParseReportFile(const std::string& path, RowSink& sink, FileBytes& buffer) {
  if (ReadWholeFile(AbsolutePath(path), buffer) != OpenResult::Read) return;
  buffer.Shrink(LooseDocumentInPlace(buffer.data(), buffer.size()));
  CutWorksheets(buffer.view(), sink);
}

}  // namespace tollwick
