// Reads the stored report entries of one archive (see stored_entries.h) and hands each to
// ParseReport, then gives the archive a numbered name if its name asks for one (see
// archive_rename.h). An archive that cannot be opened raises "Cannot open file "<path>". <reason>"
// and keeps its name; one that is no archive or is cut short is still renamed.
#pragma once

#include <string>

#include "tables/file_bytes.h"
#include "tables/run_state.h"

namespace tollwick {

void ReadReportArchive(RunState& state, const std::string& path);
// The same, reading the archive into `buffer`, whose memory is kept for the next call.
void ReadReportArchive(RunState& state, const std::string& path, FileBytes& buffer);

}  // namespace tollwick
