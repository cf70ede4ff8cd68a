#include "intake/scan_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "base/file_bytes.h"
#include "base/text.h"
#include "intake/archive_rename.h"
#include "intake/read_ahead.h"

namespace tollwick {

namespace {

using FileId = std::pair<dev_t, ino_t>;

FileId IdOf(const struct stat& st) {
  return {st.st_dev, st.st_ino};
}

bool EndsWithIgnoringCase(std::string_view name, std::string_view ending) {
  return name.size() >= ending.size() &&
         LowerAscii(name.substr(name.size() - ending.size())) == ending;
}

bool IsLooseReportName(std::string_view name) {
  return EndsWithIgnoringCase(name, ".xml") && name != "[Content_Types].xml";
}

bool IsArchiveName(std::string_view name) {
  return EndsWithIgnoringCase(name, ".zip");
}

// A directory path ending in "/" as messages show it: without that "/", except for the root.
std::string Shown(const std::string& directory) {
  return directory.size() > 1 ? directory.substr(0, directory.size() - 1) : directory;
}

[[noreturn]] void RaiseDirectoryError(const std::string& shown, int err) {
  Raise(ErrorKind::EFOpenError, "Cannot open directory \"" + shown + "\". " + std::strerror(err));
}

// The absolute path of the current directory, ending in "/".
std::string CurrentDirectory() {
  std::string cwd = WorkingDirectory();
  if (cwd.empty()) RaiseDirectoryError(".", errno);
  if (cwd.back() != '/') cwd += '/';
  return cwd;
}

// A directory the walk is in.
struct Directory {
  FileDescriptor fd;
  std::string path;     // absolute, ending in "/"
  bool inside = false;  // the starting directory or below it, links resolved
};

// The names in the directory, sorted, hidden ones left out.
std::vector<std::string> ListNames(const Directory& dir) {
  // A second descriptor for the listing, so that the directory's own stays usable.
  int listing_fd = ::dup(dir.fd.get());
  DIR* listing = listing_fd < 0 ? nullptr : ::fdopendir(listing_fd);
  if (listing == nullptr) {
    const int err = errno;
    if (listing_fd >= 0) ::close(listing_fd);
    RaiseDirectoryError(Shown(dir.path), err);
  }
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing);
    if (entry == nullptr) {
      const int err = errno;
      ::closedir(listing);
      if (err != 0) RaiseDirectoryError(Shown(dir.path), err);
      break;
    }
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

enum class Kind { File, Directory, Other, Gone };

// What the entry is now, links followed. Gone is a link that dangles or loops; Other a FIFO,
// socket or device. Raises when the entry cannot be examined.
Kind Examine(const Directory& dir, const std::string& name) {
  struct stat st {};
  if (::fstatat(dir.fd.get(), name.c_str(), &st, 0) == 0) {
    if (S_ISREG(st.st_mode)) return Kind::File;
    if (S_ISDIR(st.st_mode)) return Kind::Directory;
    return Kind::Other;
  }
  const int err = errno;
  // The entry itself, without following it, tells a dangling link from a vanished entry.
  if (::fstatat(dir.fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == EACCES) RaiseDirectoryError(Shown(dir.path), errno);  // not searchable
    RaiseOpenError(dir.path + name, errno);
  }
  if (S_ISLNK(st.st_mode) && (err == ENOENT || err == ENOTDIR || err == ELOOP)) return Kind::Gone;
  RaiseOpenError(dir.path + name, err);
}

// Whether the open directory `fd` is `start` or below it, found by going up through "..".
// When a step up fails the answer is no.
bool IsAtOrBelow(int fd, const FileId& start) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  FileId id = IdOf(st);
  FileDescriptor up;
  for (int at = fd;;) {
    if (id == start) return true;
    FileDescriptor parent(::openat(at, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() < 0 || ::fstat(parent.get(), &st) != 0) return false;
    if (IdOf(st) == id) return false;  // the root is its own parent
    id = IdOf(st);
    up = std::move(parent);
    at = up.get();
  }
}

// Applies every report file the walk opens, in walk order: its rows, then its error. With
// reading threads, files are read and cut ahead while earlier ones are applied; the walk calls
// Finish before anything that changes the tree (an archive's rename), so that everything
// before it is done first, as on one thread.
class Intake {
 public:
  Intake(RowSink& sink, WarningList& warnings, size_t reading_threads)
      : sink_(sink), warnings_(warnings) {
    if (reading_threads == 0) return;
    try {
      ahead_ = std::make_unique<ReadAhead>(kDepth, reading_threads, kByteBudget, sink);
    } catch (const std::system_error&) {
      // No thread to be had (a process limit, say): the files are read one by one, which
      // gives the same result.
    }
  }

  void Add(const std::string& path, bool archive, FileDescriptor fd, uint64_t size) {
    ReportJob* job = &single_;
    if (ahead_) {
      while (ahead_->Full(size)) ApplyOldest();
      job = &ahead_->Free();
    }
    job->Reset(path, archive);
    job->fd = std::move(fd);
    job->size = size;
    if (!ahead_) {
      ReadAndCut(single_);
      ApplyJob(single_, sink_, warnings_);
      return;
    }
    ahead_->Submit();
  }

  // Applies every file still on its way; nothing more after a file whose applying failed.
  void Finish() {
    while (!failed_ && ahead_ && !ahead_->Empty()) ApplyOldest();
  }

 private:
  // Enough files on their way that a month's archive, which takes a reader a while, does not
  // leave the others idle; and few enough bytes that their memory stays small beside the
  // tables'.
  static constexpr size_t kDepth = 16;
  static constexpr uint64_t kByteBudget = uint64_t{16} << 20;

  void ApplyOldest() {
    const ReportJob& job = ahead_->TakeOldest();
    // The slot is released even when applying raises.
    struct ReleaseOnExit {
      ReadAhead& ahead;
      ~ReleaseOnExit() { ahead.Release(); }
    } release{*ahead_};
    failed_ = true;  // until ApplyJob returns
    ApplyJob(job, sink_, warnings_);
    failed_ = false;
  }

  RowSink& sink_;
  WarningList& warnings_;
  std::unique_ptr<ReadAhead> ahead_;  // null: one thread
  ReportJob single_;                  // the one-thread way's file, its memory reused
  bool failed_ = false;
};

class TreeWalk {
 public:
  TreeWalk(RowSink& sink, WarningList& warnings, size_t reading_threads)
      : intake_(sink, warnings, reading_threads) {}

  void Run() {
    try {
      Start();
    } catch (...) {
      // A failure of the walk itself comes after every file opened before it is applied.
      intake_.Finish();
      throw;
    }
    intake_.Finish();
  }

 private:
  void Start() {
    Directory top;
    top.path = CurrentDirectory();
    top.fd = FileDescriptor(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (top.fd.get() < 0) RaiseDirectoryError(Shown(top.path), errno);
    struct stat st {};
    if (::fstat(top.fd.get(), &st) != 0) RaiseDirectoryError(Shown(top.path), errno);
    start_ = IdOf(st);
    entered_.insert(start_);
    top.inside = true;
    Walk(top);
  }

  void Walk(const Directory& dir) {
    const std::vector<std::string> names = ListNames(dir);
    // Names found to be something other than a directory in the first two passes, and the
    // new names of archives renamed here: the folder pass leaves them alone.
    std::vector<bool> settled(names.size(), false);
    std::vector<std::string> renamed_to;
    auto was_renamed_to = [&](const std::string& name) {
      return std::find(renamed_to.begin(), renamed_to.end(), name) != renamed_to.end();
    };
    for (size_t i = 0; i < names.size(); ++i) {
      if (!IsLooseReportName(names[i])) continue;
      const Kind kind = Examine(dir, names[i]);
      settled[i] = kind != Kind::Directory;
      if (kind == Kind::File) ReadLooseReport(dir, names[i]);
    }
    for (size_t i = 0; i < names.size(); ++i) {
      if (!IsArchiveName(names[i]) || was_renamed_to(names[i])) continue;
      const Kind kind = Examine(dir, names[i]);
      settled[i] = kind != Kind::Directory;
      if (kind != Kind::File) continue;
      if (!ReadArchive(dir, names[i])) continue;
      if (!dir.inside || !NeedsNumberedName(names[i])) continue;
      intake_.Finish();  // the archive and everything before it, before the tree changes
      std::string new_name = RenameToNumberedName(dir.fd.get(), names[i], &free_numbers_);
      if (!new_name.empty()) renamed_to.push_back(std::move(new_name));
    }
    for (size_t i = 0; i < names.size(); ++i) {
      if (settled[i] || was_renamed_to(names[i])) continue;
      if (Examine(dir, names[i]) == Kind::Directory) EnterFolder(dir, names[i]);
    }
  }

  void ReadLooseReport(const Directory& dir, const std::string& name) {
    const std::string path = dir.path + name;
    FileDescriptor fd;
    uint64_t size = 0;
    if (OpenRegularFileAt(dir.fd.get(), name, path, fd, size) != OpenResult::Read) return;
    intake_.Add(path, /*archive=*/false, std::move(fd), size);
  }

  // False when the entry turned out to be no regular file once opened.
  bool ReadArchive(const Directory& dir, const std::string& name) {
    const std::string path = dir.path + name;
    FileDescriptor fd;
    uint64_t size = 0;
    if (OpenRegularFileAt(dir.fd.get(), name, path, fd, size) != OpenResult::Read) return false;
    intake_.Add(path, /*archive=*/true, std::move(fd), size);
    return true;
  }

  void EnterFolder(const Directory& parent, const std::string& name) {
    Directory dir;
    dir.path = parent.path + name + "/";
    dir.fd =
        FileDescriptor(::openat(parent.fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd.get() < 0) RaiseDirectoryError(Shown(dir.path), errno);
    struct stat st {};
    if (::fstat(dir.fd.get(), &st) != 0) RaiseDirectoryError(Shown(dir.path), errno);
    const FileId id = IdOf(st);
    if (!entered_.insert(id).second) return;
    // A folder that is a real subdirectory shares its parent's place; one reached through a
    // link may lead anywhere.
    struct stat own {};
    const bool real = ::fstatat(parent.fd.get(), name.c_str(), &own, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISDIR(own.st_mode) && IdOf(own) == id;
    dir.inside = real ? parent.inside : IsAtOrBelow(dir.fd.get(), start_);
    Walk(dir);
  }

  Intake intake_;
  FileId start_{};
  std::set<FileId> entered_;
  FreeNumbers free_numbers_;
};

}  // namespace

void ScanDirectory(RowSink& sink, WarningList& warnings) {
  ScanDirectory(sink, warnings, ReadingThreads());
}

void ScanDirectory(RowSink& sink, WarningList& warnings, size_t reading_threads) {
  TreeWalk(sink, warnings, reading_threads).Run();
}

}  // namespace tollwick
