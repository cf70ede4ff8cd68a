// Cuts the two worksheets of a report text into rows and cells and hands them to the tables.
#pragma once

#include <string>
#include <string_view>

#include "tables/file_bytes.h"
#include "tables/run_state.h"

namespace tollwick {

// With an empty report text the document is read from the file at `path`; otherwise the text
// is the document and the path is not used.
void ParseReport(RunState& state, const std::string& path, std::string_view report_text);
// The same, reading a loose file into `buffer`, whose memory is kept for the next call.
void ParseReport(RunState& state, const std::string& path, std::string_view report_text,
                 FileBytes& buffer);

}  // namespace tollwick
