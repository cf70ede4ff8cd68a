// Reads one report into rows: the text of an archive entry as it is, or a loose file.
#pragma once

#include <string>
#include <string_view>

#include "base/file_bytes.h"
#include "intake/row_sink.h"

namespace tollwick {

// Cuts the worksheets of a report text (an archive entry: line breaks stay) into `sink`.
void ParseReportText(std::string_view text, RowSink& sink);

// Reads the loose report file at `path` into `buffer` (whose memory is kept for the next
// call), keeps its bytes up to the first NUL without CR and LF, and cuts that into `sink`.
// Raises "Cannot open file "<absolute path>". <reason>" when it cannot be read; anything but
// a regular file once opened is passed over.
void ParseReportFile(const std::string& path, RowSink& sink, FileBytes& buffer);

// Cuts a loose report file read whole into `bytes`, which keeps only its text up to the first
// NUL without CR and LF.
void ParseLooseReport(FileBytes& bytes, RowSink& sink);

}  // namespace tollwick
