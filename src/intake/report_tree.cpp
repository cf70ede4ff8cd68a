#include "intake/report_tree.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "base/file_bytes.h"
#include "base/text.h"
#include "intake/archive_rename.h"
#include "intake/report_intake.h"

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

[[noreturn]] void RaiseDirectoryError(std::string_view shown, int err) {
  Raise(ErrorKind::EFOpenError,
        "Cannot open directory \"" + std::string(shown) + "\". " + SystemErrorText(err));
}

enum class Kind { File, Directory, Other, Gone };

class TreeWalk {
 public:
  TreeWalk(FileSystem& files, TableSink& sink, WarningList& warnings, size_t reading_threads)
      : files_(files), intake_(files, sink, warnings, reading_threads) {}

  void Run() {
    try {
      Walk();
    } catch (...) {
      // A failure of the walk itself comes after every file opened before it is applied.
      intake_.Finish();
      throw;
    }
    intake_.Finish();
  }

 private:
  // So many directories of the way down keep their descriptors open; those above them are
  // closed while the walk is below them (when it entered their subdirectory as such, not
  // through a link) and opened again through ".." on the way back, so that a deep tree needs
  // no more descriptors than a shallow one.
  static constexpr size_t kOpenLevels = 24;

  // A directory on the way down from the starting one.
  struct Level {
    FileDescriptor fd;
    FileId id{};
    size_t path_end = 0;             // path_ up to here is its absolute path, ending in "/"
    bool inside = false;             // the starting directory or below it, links resolved
    bool real_child = false;         // the level below it was entered as a subdirectory, not a link
    std::vector<std::string> names;  // in byte order, hidden ones left out
    std::vector<bool> settled;       // no folder, as the first two passes found, or renamed
    size_t next = 0;                 // the name the folder pass looks at next
  };

  // The path of the current level as messages show it: without its final "/", except the root.
  std::string_view Shown() const {
    const size_t end = levels_.back().path_end;
    return std::string_view(path_).substr(0, end > 1 ? end - 1 : end);
  }

  // Makes a call that takes a descriptor; when the process has none left, applies the files on
  // their way, which frees theirs, or closes the descriptor of a directory higher up (opened
  // again on the way back), and tries again. The innermost `in_use` levels keep theirs.
  template <typename Call>
  int WithDescriptor(Call call, size_t in_use = 1) {
    for (;;) {
      const int result = call();
      if (result >= 0 || (errno != EMFILE && errno != ENFILE)) return result;
      const int err = errno;
      if (!intake_.ApplyOne() && !SpareDirectory(in_use)) {
        errno = err;
        return result;
      }
    }
  }

  // Closes the descriptor of the highest level that can open it again through its child's "..",
  // other than the innermost `in_use`: false when there is none.
  bool SpareDirectory(size_t in_use) {
    for (size_t i = 0; i + in_use < levels_.size(); ++i) {
      if (levels_[i].fd.get() >= 0 && levels_[i].real_child) {
        levels_[i].fd = FileDescriptor();
        return true;
      }
    }
    return false;
  }

  void Walk() {
    path_ = files_.WorkingDirectory();
    if (path_.empty()) RaiseDirectoryError(".", errno);
    if (path_.back() != '/') path_ += '/';
    Level top;
    top.path_end = path_.size();
    top.inside = true;
    top.fd = FileDescriptor(
        WithDescriptor([&] { return files_.OpenAt(AT_FDCWD, ".", O_RDONLY | O_DIRECTORY); }));
    levels_.push_back(std::move(top));
    struct stat st {};
    if (levels_.back().fd.get() < 0 || files_.Stat(levels_.back().fd.get(), st) != 0)
      RaiseDirectoryError(Shown(), errno);
    start_ = levels_.back().id = IdOf(st);
    entered_.insert(start_);
    ReadFiles();
    // The third pass of each level, its folders, one level at a time: a folder is entered
    // (and its files read) when the pass comes to it, and the pass goes on when it is left.
    while (!levels_.empty()) {
      bool descended = false;
      while (!descended && levels_.back().next < levels_.back().names.size()) {
        const size_t i = levels_.back().next++;
        if (levels_.back().settled[i]) continue;
        const std::string name = levels_.back().names[i];
        descended = Examine(name) == Kind::Directory && EnterFolder(name);
      }
      if (!descended) Leave();
    }
  }

  // The first two passes over the current level: its loose reports, then its archives.
  void ReadFiles() {
    Level& level = levels_.back();
    if (WithDescriptor([&] { return files_.ListDirectory(level.fd.get(), level.names); }) != 0)
      RaiseDirectoryError(Shown(), errno);
    std::erase_if(level.names, [](const std::string& name) { return name.front() == '.'; });
    std::sort(level.names.begin(), level.names.end());
    level.settled.assign(level.names.size(), false);
    for (size_t i = 0; i < level.names.size(); ++i) {
      if (!IsLooseReportName(level.names[i])) continue;
      const Kind kind = Examine(level.names[i]);
      level.settled[i] = kind != Kind::Directory;
      if (kind == Kind::File) ReadReport(level.names[i], /*archive=*/false);
    }
    // The new names of archives renamed here: neither pass looks at them again.
    std::unordered_set<std::string> renamed_to;
    for (size_t i = 0; i < level.names.size(); ++i) {
      const std::string& name = level.names[i];
      if (renamed_to.contains(name)) level.settled[i] = true;
      if (!IsArchiveName(name) || level.settled[i]) continue;
      const Kind kind = Examine(name);
      level.settled[i] = kind != Kind::Directory;
      // An archive to be renamed is read on this thread, once everything before it is applied:
      // the tree changes only after that, and no reading thread is waited for.
      const bool renamed = level.inside && NeedsNumberedName(name);
      if (kind != Kind::File || !ReadReport(name, /*archive=*/true, renamed) || !renamed) continue;
      std::string new_name = RenameToNumberedName(files_, level.fd.get(), name, &free_numbers_);
      if (!new_name.empty()) renamed_to.insert(std::move(new_name));
    }
    for (size_t i = 0; i < level.names.size(); ++i)
      if (renamed_to.contains(level.names[i])) level.settled[i] = true;
  }

  // What the entry `name` of the current level is now, links followed. Gone is a link that
  // dangles or loops; Other a FIFO, socket or device. Raises when it cannot be examined.
  Kind Examine(const std::string& name) {
    const int dir = levels_.back().fd.get();
    struct stat st {};
    if (files_.StatAt(dir, name, st, 0) == 0) {
      if (S_ISREG(st.st_mode)) return Kind::File;
      if (S_ISDIR(st.st_mode)) return Kind::Directory;
      return Kind::Other;
    }
    const int err = errno;
    // The entry itself, without following it, tells a dangling link from a vanished entry.
    if (files_.StatAt(dir, name, st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == EACCES) RaiseDirectoryError(Shown(), errno);  // not searchable
      RaiseOpenError(path_ + name, errno);
    }
    if (S_ISLNK(st.st_mode) && (err == ENOENT || err == ENOTDIR || err == ELOOP)) return Kind::Gone;
    RaiseOpenError(path_ + name, err);
  }

  // Opens the report or archive `name` of the current level and hands it to the intake. False
  // when it turned out to be no regular file once opened.
  bool ReadReport(const std::string& name, bool archive, bool now = false) {
    const std::string path = path_ + name;
    FileDescriptor fd(WithDescriptor([&] {
      return files_.OpenAt(levels_.back().fd.get(), name, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    }));
    if (fd.get() < 0) RaiseOpenError(path, errno);
    uint64_t size = 0;
    if (CheckRegularFile(files_, fd, path, size) != OpenResult::Read) return false;
    if (now)
      intake_.AddNow(path, archive, std::move(fd), size);
    else
      intake_.Add(path, archive, std::move(fd), size);
    return true;
  }

  // Enters the subdirectory `name` of the current level and reads its files, unless it was
  // entered before (a link back into the tree); false then.
  bool EnterFolder(const std::string& name) {
    const size_t parent = levels_.size() - 1;
    path_.resize(levels_[parent].path_end);
    path_ += name;
    path_ += '/';
    Level level;
    level.path_end = path_.size();
    level.fd = FileDescriptor(WithDescriptor(
        [&] { return files_.OpenAt(levels_[parent].fd.get(), name, O_RDONLY | O_DIRECTORY); }));
    levels_.push_back(std::move(level));
    struct stat st {};
    if (levels_.back().fd.get() < 0 || files_.Stat(levels_.back().fd.get(), st) != 0)
      RaiseDirectoryError(Shown(), errno);
    const FileId id = IdOf(st);
    if (!entered_.insert(id).second) {
      levels_.pop_back();
      path_.resize(levels_[parent].path_end);
      return false;
    }
    levels_.back().id = id;
    // A folder that is a real subdirectory shares its parent's place; one reached through a
    // link may lead anywhere.
    struct stat own {};
    const bool real =
        files_.StatAt(levels_[parent].fd.get(), name, own, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(own.st_mode) && IdOf(own) == id;
    levels_[parent].real_child = real;
    levels_.back().inside =
        real ? levels_[parent].inside : IsAtOrBelow(levels_.back().fd.get(), start_);
    if (levels_.size() > kOpenLevels) {
      Level& above = levels_[levels_.size() - 1 - kOpenLevels];
      if (above.real_child) above.fd = FileDescriptor();
    }
    ReadFiles();
    return true;
  }

  // Leaves the current level for its parent, whose descriptor is opened again through ".." when
  // it was closed.
  void Leave() {
    if (levels_.size() >= 2) {
      Level& parent = levels_[levels_.size() - 2];
      if (parent.fd.get() < 0) {
        parent.fd = FileDescriptor(WithDescriptor(
            [&] { return files_.OpenAt(levels_.back().fd.get(), "..", O_RDONLY | O_DIRECTORY); }));
        struct stat st {};
        const bool same =
            parent.fd.get() >= 0 && files_.Stat(parent.fd.get(), st) == 0 && IdOf(st) == parent.id;
        if (!same) {
          const int err = parent.fd.get() < 0 ? errno : ENOENT;  // moved away meanwhile
          levels_.pop_back();
          path_.resize(levels_.back().path_end);
          RaiseDirectoryError(Shown(), err);
        }
      }
    }
    levels_.pop_back();
    if (!levels_.empty()) path_.resize(levels_.back().path_end);
  }

  // Whether the open directory `fd` is `start` or below it, found by going up through "..".
  // When a step up fails the answer is no.
  bool IsAtOrBelow(int fd, const FileId& start) {
    struct stat st {};
    if (files_.Stat(fd, st) != 0) return false;
    FileId id = IdOf(st);
    FileDescriptor up;
    for (int at = fd;;) {
      if (id == start) return true;
      FileDescriptor parent(
          WithDescriptor([&] { return files_.OpenAt(at, "..", O_PATH | O_DIRECTORY); }));
      if (parent.get() < 0 || files_.Stat(parent.get(), st) != 0) return false;
      if (IdOf(st) == id) return false;  // the root is its own parent
      id = IdOf(st);
      up = std::move(parent);
      at = up.get();
    }
  }

  FileSystem& files_;
  ReportIntake intake_;
  std::string path_;  // the current level's absolute path, ending in "/"
  std::vector<Level> levels_;
  FileId start_{};
  std::set<FileId> entered_;
  FreeNumbers free_numbers_;
};

}  // namespace

void ReadReportTree(FileSystem& files, TableSink& sink, WarningList& warnings) {
  ReadReportTree(files, sink, warnings, ReadingThreads());
}

void ReadReportTree(FileSystem& files, TableSink& sink, WarningList& warnings,
                    size_t reading_threads) {
  TreeWalk(files, sink, warnings, reading_threads).Run();
}

}  // namespace tollwick
