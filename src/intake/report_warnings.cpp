#include "intake/report_warnings.h"

#include "base/warnings.h"

namespace tollwick {

void DocumentWarnings(std::string_view path, std::string_view document, const CutFindings& found,
                      std::vector<Warning>& out) {
  if (document.starts_with("\xFF\xFE") || document.starts_with("\xFE\xFF")) {
    out.push_back({Quoted(path) + " is UTF-16 text, which is not read", WarningKind::Utf16});
  } else if (!found.has_worksheet) {
    out.push_back({Quoted(path) + " holds no worksheet \"SKU detail\" or \"Purchase History\"",
                   WarningKind::NoWorksheet});
  }
  if (found.attributed_rows == 1) {
    out.push_back({Quoted(path) + ": 1 row passed over: its start tag carries attributes",
                   WarningKind::RowsPassedOver});
  } else if (found.attributed_rows > 1) {
    out.push_back({Quoted(path) + ": " + std::to_string(found.attributed_rows) +
                       " rows passed over: their start tags carry attributes",
                   WarningKind::RowsPassedOver});
  }
}

void ArchiveWarnings(std::string_view path, const ArchiveWalk& walk, std::vector<Warning>& out) {
  switch (walk.end) {
    case ArchiveEnd::NotZip:
      out.push_back({Quoted(path) + " is not a zip archive", WarningKind::NotZip});
      break;
    case ArchiveEnd::Incomplete:
      out.push_back({Quoted(path) +
                         " could not be read to its end; entries after the first unreadable one "
                         "were not read",
                     WarningKind::CutShort});
      break;
    case ArchiveEnd::Complete:
      if (!walk.report_entry_met)
        out.push_back({Quoted(path) + " holds no entry \"fulfillmentreport.xml\"",
                       WarningKind::NoReportEntry});
      break;
  }
}

}  // namespace tollwick
