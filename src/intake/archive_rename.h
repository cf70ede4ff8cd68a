// Gives an archive whose name begins with "report " or "report." (ASCII letters in any case)
// the first free numbered name "report_(N).zip" in its directory.
//
// N is the smallest number from 1 for which no entry of any kind (file, directory, link, even a
// dangling one) has that name. A run that renames many archives in one directory remembers
// where the search may start there (FreeNumbers), so that each rename probes from the number
// after the last one it chose instead of from 1, and renaming n archives in one directory takes
// time linear in n. The rename never replaces or removes anything (FileSystem::RenameNoReplace);
// when the chosen name was taken in the meantime, the next number is tried. A rename that fails
// for any other reason (a read-only directory, say) is silent and the archive keeps its name.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "base/file_system.h"

namespace tollwick {

// Whether an archive with this file name (no directory part) gets a numbered name.
bool NeedsNumberedName(std::string_view file_name);

// "report_(" + n + ").zip"
std::string NumberedArchiveName(unsigned long n);

// Per directory of one run, the number from which the search for a free name may start.
// Numbered names do not disappear during a run (an archive that already has one keeps it), so
// every number below the one after the last chosen name stays taken unless something else
// changes the directory meanwhile; then the search may pass over a name freed since.
class FreeNumbers {
 public:
  unsigned long Start(dev_t device, ino_t inode) const {
    auto it = next_.find({device, inode});
    return it == next_.end() ? 1 : it->second;
  }
  void Chosen(dev_t device, ino_t inode, unsigned long n) { next_[{device, inode}] = n + 1; }

 private:
  std::map<std::pair<dev_t, ino_t>, unsigned long> next_;
};

// Renames `file_name` in the open directory `dir_fd` to the first free numbered name there.
// Returns the new name, or an empty text when the archive kept its name. With `free_numbers`
// the search starts where the last rename in that directory left it.
std::string RenameToNumberedName(FileSystem& files, int dir_fd, const std::string& file_name,
                                 FreeNumbers* free_numbers = nullptr);

}  // namespace tollwick
