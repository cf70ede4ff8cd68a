// Walks the tree below the current directory and reads every report in it, loose or in
// archives.
//
// Each directory is listed once, when the walk enters it: names beginning with "." are hidden
// and never looked at, the rest are taken in name order (bytes) in three passes: loose reports
// (names ending in ".xml" in any letter case, except exactly "[Content_Types].xml"), then
// archives (".zip"), then folders (any name). An entry's kind is examined only when its pass
// comes to it, links followed: a regular file is read, a directory is walked in the third pass,
// FIFOs, sockets and devices are passed over, and so is a link that dangles or loops by then
// (such as a link to an archive this walk has just renamed). An archive this walk has just
// renamed is not examined again under its new name, and a directory already entered (same
// device and inode) is not entered again, so link cycles end.
//
// Archives whose names ask for it get a numbered name (see archive_rename.h), but only in a
// directory that is, links resolved, the starting directory or below it: reports found through
// links out of the tree are read, and their archives keep their names.
//
// Memory and time grow with the tree alone, however deep it is: the levels on the way down share
// one path, and only the deepest few keep their descriptors open (the others are opened again
// through ".." on the way back). When the process has no descriptor left, the files on their way
// are applied, which frees theirs, and the walk goes on with fewer ahead.
//
// Nothing is passed over in silence. The run ends with EFOpenError:
//   - "Cannot open directory "."." when the current directory has no path (it was removed, or
//     its path is too long), before anything is read;
//   - "Cannot open directory "<path>"." for a directory that cannot be opened or listed, the
//     starting one included, for one whose entries cannot be examined (no search permission),
//     and for one that was moved away while the walk was below it;
//   - "Cannot open file "<path>"." for an entry that vanished since the listing, a link whose
//     target cannot be reached, and a report or archive that cannot be opened;
// and with EInOutError for a report or archive that cannot be read or ends early (see
// file_bytes.h). Each message ends with the system's text for the reason. Paths are absolute; a
// directory's has no trailing "/", except for the root.
#pragma once

#include <cstddef>

#include "base/file_system.h"
#include "base/warnings.h"
#include "intake/table_sink.h"

namespace tollwick {

// Walks the current working directory through `files`, hands every row found to `sink` and
// every warning about an archive or a report (see report_warnings.h) to `warnings`. Files are read
// and cut on `reading_threads` threads (ReadingThreads() by default) ahead of the one that hands on
// their rows, or on that one when there are none; every effect comes in the same order either way.
void ReadReportTree(FileSystem& files, TableSink& sink, WarningList& warnings);
void ReadReportTree(FileSystem& files, TableSink& sink, WarningList& warnings,
                    size_t reading_threads);

}  // namespace tollwick
