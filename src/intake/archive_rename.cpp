#include "intake/archive_rename.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/text.h"

namespace tollwick {

namespace {

enum class Probe { Free, Taken, Unknown };

// Whether any entry, a dangling link included, has this name.
Probe ProbeName(int dir, const std::string& name) {
  struct stat st {};
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return Probe::Taken;
  return errno == ENOENT ? Probe::Free : Probe::Unknown;
}

enum class Attempt { Done, Taken, Failed };

Attempt LinkThenUnlink(int dir, const std::string& from, const std::string& to) {
  if (::linkat(dir, from.c_str(), dir, to.c_str(), 0) != 0)
    return errno == EEXIST ? Attempt::Taken : Attempt::Failed;
  if (::unlinkat(dir, from.c_str(), 0) != 0) {
    // The archive would now have two names; take back the new one.
    ::unlinkat(dir, to.c_str(), 0);
    return Attempt::Failed;
  }
  return Attempt::Done;
}

Attempt RenameNoReplace(int dir, const std::string& from, const std::string& to, bool force_link) {
  if (!force_link) {
    if (::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0)
      return Attempt::Done;
    if (errno == EEXIST) return Attempt::Taken;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return Attempt::Failed;
  }
  return LinkThenUnlink(dir, from, to);
}

}  // namespace

bool NeedsNumberedName(std::string_view file_name) {
  std::string head = LowerAscii(file_name.substr(0, 7));
  return head == "report " || head == "report.";
}

std::string NumberedArchiveName(unsigned long n) {
  return "report_(" + std::to_string(n) + ").zip";
}

std::string RenameToNumberedName(const std::string& directory, const std::string& file_name,
                                 FreeNumbers* free_numbers, const RenameOptions& options) {
  int dir = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return {};
  std::string result = RenameToNumberedName(dir, file_name, free_numbers, options);
  ::close(dir);
  return result;
}

std::string RenameToNumberedName(int dir, const std::string& file_name, FreeNumbers* free_numbers,
                                 const RenameOptions& options) {
  struct stat dir_stat {};
  if (free_numbers != nullptr && ::fstat(dir, &dir_stat) != 0) free_numbers = nullptr;
  std::string result;
  unsigned long n =
      free_numbers != nullptr ? free_numbers->Start(dir_stat.st_dev, dir_stat.st_ino) : 1;
  // Bounded, so that a directory that fills up as fast as names are tried cannot hold us.
  for (int attempts = 0; attempts < 1000; ++attempts) {
    Probe probe;
    while ((probe = ProbeName(dir, NumberedArchiveName(n))) == Probe::Taken) ++n;
    if (probe == Probe::Unknown) break;  // the directory cannot be searched
    std::string chosen = NumberedArchiveName(n);
    if (options.before_rename) options.before_rename(chosen);
    Attempt attempt = RenameNoReplace(dir, file_name, chosen, options.force_link);
    if (attempt == Attempt::Done) {
      result = chosen;
      if (free_numbers != nullptr) free_numbers->Chosen(dir_stat.st_dev, dir_stat.st_ino, n);
    }
    if (attempt != Attempt::Taken) break;
    ++n;
  }
  return result;
}

}  // namespace tollwick
