// Reads the stored report entries of one archive (see stored_entries.h) and hands each to
// ParseReport, then gives the archive a numbered name if its name asks for one (see
// archive_rename.h). An archive that cannot be opened raises "Cannot open file "<path>". <reason>"
// and keeps its name; one that is no archive or is cut short is still renamed.
#pragma once

#include <cstdint>
#include <string>

#include "base/file_bytes.h"
#include "intake/archive_rename.h"
#include "intake/row_sink.h"

namespace tollwick {

// `buffer` holds the pieces of the archive while they are read; its memory is kept for the
// next call. A rename searches from where `free_numbers` says.
void ReadReportArchive(const std::string& path, RowSink& sink, FileBytes& buffer,
                       FreeNumbers* free_numbers = nullptr);

// Hands each report entry of an archive opened as `fd` (`size` bytes when opened; `path`
// names it in errors) to `sink`. Reads its pieces into `buffer`; does not rename.
void ReadArchiveEntries(const FileDescriptor& fd, uint64_t size, const std::string& path,
                        RowSink& sink, FileBytes& buffer);

}  // namespace tollwick
