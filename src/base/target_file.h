// A file the run writes that takes its name only when the run succeeds.
//
// The name given is followed through every symbolic link to the file it finally names (the
// target); that file is the one replaced, and its own name must have one of the endings asked
// for, so that a link can never make the run overwrite a report or anything else. The contents
// are written into an unnamed file (O_TMPFILE) in the target's folder, which the system removes
// by itself whatever ends the process; where the file system has no unnamed files, into a
// hidden temporary file there (".<name>.XXXXXX"), removed on destruction and by every signal
// that ends the process (all but SIGKILL); so it is also where /proc, through which other
// writers reach the unnamed file, is missing. Commit() gives the file the target's name in one
// step (the old file, if any, is replaced by rename), after its data has reached the disk;
// until then the old file is untouched. The new file keeps the permissions of the file it
// replaces, or gets those a new file gets.
//
// Every file-system call goes through the FileSystem given, which must outlive the object.
#pragma once

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "base/file_bytes.h"
#include "base/file_system.h"

namespace tollwick {

class TargetFile {
 public:
  // `path` as given (relative to the working directory). Follows every symbolic link to the
  // final target; that target's own name must end in one of `endings` (ASCII, any case), and
  // it must be writable as a regular file in an existing folder; otherwise raises EFOpenError
  // "Cannot create file "<target>". <reason>". Opens an unnamed file (O_TMPFILE) in the
  // target's folder, falling back to a named hidden temporary file there (removed on
  // destruction and by ending signals).
  TargetFile(FileSystem& files, const std::string& path,
             std::initializer_list<std::string_view> endings);
  ~TargetFile();  // not committed: nothing is left behind
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  int fd() const { return fd_; }                         // read and write, never 0-2
  const std::string& target() const { return target_; }  // absolute path, links followed
  int folder_fd() const { return folder_fd_; }           // the target's folder (O_PATH)
  // A name that opens the same file, for writers that open files by name: /proc/self/fd/N, or
  // the hidden file's path.
  std::string ReopenPath() const;
  // Whether the file is unnamed (O_TMPFILE) rather than a hidden named one.
  bool unnamed() const { return temporary_name_.empty(); }
  // Writes all of `bytes` at the file's position; raises EInOutError
  // "Cannot write file "<target>". <reason>" on failure.
  void Write(std::string_view bytes);
  // Gives the file the target's name, its data synced first; raises EInOutError
  // "Cannot write file "<target>". <reason>" on failure, and the old file stays.
  void Commit();

 private:
  void OpenTemporary(mode_t mode, bool exists);
  std::string HiddenName();  // ".<name>.XXXXXX", XXXXXX random
  [[noreturn]] void RaiseWriteError(int err) const;

  FileSystem& files_;
  std::string target_;
  std::string name_;       // the target's name in its folder
  FileDescriptor folder_;  // the target's folder (O_PATH)
  int folder_fd_ = -1;
  FileDescriptor file_;  // the file written
  int fd_ = -1;
  std::string temporary_name_;  // the hidden name while it has one
  int signal_slot_ = -1;        // where the hidden name is kept for the signal handler
  bool committed_ = false;
};

}  // namespace tollwick
