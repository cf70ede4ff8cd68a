// Walks a directory tree and reads every report found in it, loose or in archives.
//
// Per directory, the whole listing is taken first and sorted by name (bytes), then: every loose
// report (a regular file ending in ".xml" in any letter case, except exactly
// "[Content_Types].xml") goes to ParseReport, every archive (a regular file ending in ".zip")
// to ReadReportArchive, and every subdirectory is walked in full, one after the other. Links
// count as what they point to. Names beginning with "." are hidden and not visited; FIFOs,
// sockets, devices and dangling links are never opened; a directory already entered (same
// device and inode) is not entered again, so link cycles end. A directory that cannot be listed
// yields nothing. Paths handed on are absolute.
#pragma once

#include <string>

#include "intake/row_sink.h"

namespace tollwick {

// Walks the current working directory and hands every row found to `sink`.
void ScanDirectory(RowSink& sink);

}  // namespace tollwick
