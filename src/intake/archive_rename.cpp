#include "intake/archive_rename.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "base/text.h"

namespace tollwick {

namespace {

enum class Probe { Free, Taken, Unknown };

// Whether any entry, a dangling link included, has this name.
Probe ProbeName(FileSystem& files, int dir, const std::string& name) {
  struct stat st {};
  if (files.StatAt(dir, name, st, AT_SYMLINK_NOFOLLOW) == 0) return Probe::Taken;
  return errno == ENOENT ? Probe::Free : Probe::Unknown;
}

}  // namespace

bool NeedsNumberedName(std::string_view file_name) {
  std::string head = LowerAscii(file_name.substr(0, 7));
  return head == "report " || head == "report.";
}

std::string NumberedArchiveName(unsigned long n) {
  return "report_(" + std::to_string(n) + ").zip";
}

std::string RenameToNumberedName(FileSystem& files, int dir, const std::string& file_name,
                                 FreeNumbers* free_numbers) {
  struct stat dir_stat {};
  if (free_numbers != nullptr && files.Stat(dir, dir_stat) != 0) free_numbers = nullptr;
  unsigned long n =
      free_numbers != nullptr ? free_numbers->Start(dir_stat.st_dev, dir_stat.st_ino) : 1;
  // Bounded, so that a directory that fills up as fast as names are tried cannot hold us.
  for (int attempts = 0; attempts < 1000; ++attempts, ++n) {
    Probe probe;
    while ((probe = ProbeName(files, dir, NumberedArchiveName(n))) == Probe::Taken) ++n;
    if (probe == Probe::Unknown) break;  // the directory cannot be searched
    std::string chosen = NumberedArchiveName(n);
    if (files.RenameNoReplace(dir, file_name, chosen) == 0) {
      if (free_numbers != nullptr) free_numbers->Chosen(dir_stat.st_dev, dir_stat.st_ino, n);
      return chosen;
    }
    if (errno != EEXIST) break;  // taken in the meantime: the next number
  }
  return {};
}

}  // namespace tollwick
