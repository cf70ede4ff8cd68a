// Reads the stored report entries of one archive (see stored_entries.h), hands their rows on,
// then gives the archive a numbered name if its name asks for one (see archive_rename.h). An
// archive that cannot be opened raises "Cannot open file "<path>". <reason>" and keeps its name;
// one that is no archive or is cut short is still renamed.
#pragma once

#include <string>

#include "base/warnings.h"
#include "intake/archive_rename.h"
#include "intake/row_sink.h"

namespace tollwick {

// The archive is read the way the walk reads one (see read_ahead.h). A rename searches from
// where `free_numbers` says.
void ReadReportArchive(const std::string& path, RowSink& sink, WarningList& warnings,
                       FreeNumbers* free_numbers = nullptr);

}  // namespace tollwick
