// The warnings of the report intake: an archive that is no ZIP archive, is not read to its end
// or holds no report entry, and a report document that is UTF-16 text, holds neither worksheet,
// or has rows whose start tags carry attributes. Each names the file by its absolute path (an
// archive's report entry by the archive's).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/warnings.h"
#include "intake/archive_entries.h"
#include "intake/worksheet_cutter.h"

namespace tollwick {

// The warnings about one report document as cut, appended to `out`.
void DocumentWarnings(std::string_view path, std::string_view document, const CutFindings& found,
                      std::vector<Warning>& out);

// The warning about an archive walked to the end, if any, appended to `out`.
void ArchiveWarnings(std::string_view path, const ArchiveWalk& walk, std::vector<Warning>& out);

}  // namespace tollwick
