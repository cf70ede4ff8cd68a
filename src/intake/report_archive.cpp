#include "intake/report_archive.h"

#include "intake/archive_rename.h"
#include "intake/file_bytes.h"
#include "intake/parse_report.h"
#include "intake/stored_entries.h"

namespace tollwick {

void ReadReportArchive(RunState& state, const std::string& path) {
  std::string absolute = AbsolutePath(path);
  {
    FileBytes bytes;
    if (ReadWholeFile(absolute, bytes) != OpenResult::Read) return;
    ForEachReportEntry(bytes.view(),
                       [&](std::string_view entry) { ParseReport(state, "", entry); });
  }
  size_t slash = absolute.rfind('/');
  std::string name = absolute.substr(slash + 1);
  if (NeedsNumberedName(name)) RenameToNumberedName(absolute.substr(0, slash + 1), name);
}

}  // namespace tollwick
