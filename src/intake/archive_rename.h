// Gives an archive whose name begins with "report " or "report." (ASCII letters in any case)
// the first free numbered name "report_(N).zip" in its directory.
//
// N is the smallest number from 1 for which no entry of any kind (file, directory, link, even a
// dangling one) has that name. The rename never replaces or removes anything: it uses
// renameat2 with RENAME_NOREPLACE, or link then unlink where the file system lacks that; when
// the chosen name was taken in the meantime, the next number is tried. A rename that fails for
// any other reason (a read-only directory, say) is silent and the archive keeps its name.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tollwick {

// Whether an archive with this file name (no directory part) gets a numbered name.
bool NeedsNumberedName(std::string_view file_name);

// "report_(" + n + ").zip"
std::string NumberedArchiveName(unsigned long n);

struct RenameOptions {
  // Called with the chosen name just before each rename attempt.
  std::function<void(const std::string& chosen)> before_rename;
  // Use link then unlink even where RENAME_NOREPLACE works.
  bool force_link = false;
};

// Renames `directory`/`file_name` to the first free numbered name in `directory` (which ends
// in "/"). Returns the new name, or an empty text when the archive kept its name.
std::string RenameToNumberedName(const std::string& directory, const std::string& file_name,
                                 const RenameOptions& options = {});
// The same in the open directory `dir_fd`.
std::string RenameToNumberedName(int dir_fd, const std::string& file_name,
                                 const RenameOptions& options = {});

}  // namespace tollwick
