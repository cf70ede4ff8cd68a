// One report file read the way the walk reads it (open, read, cut, apply), for tests, fuzz
// targets and benchmarks that look at one file without a tree around it.
#pragma once

#include <string>

#include "base/file_bytes.h"
#include "base/warnings.h"
#include "intake/table_sink.h"
#include "support/literal_archive.h"

namespace tollwick::testing {

// Reads the archive at `path`, hands its rows and warnings on, then gives it a numbered name if
// its name asks for one. Raises as the walk does for a file that cannot be opened or read.
void ReadReportArchive(const std::string& path, TableSink& sink, WarningList& warnings);

// Reads the loose report at `path` into `buffer` (memory kept for the next call), keeps its
// bytes up to the first NUL without CR and LF, and cuts that into `sink`.
void ParseReportFile(const std::string& path, RowSink& sink, FileBytes& buffer);

// The walk of an archive held in memory (WalkArchive), in the terms of the word-for-word one.
literal::ArchiveResult WalkArchiveInMemory(const std::string& archive);

}  // namespace tollwick::testing
