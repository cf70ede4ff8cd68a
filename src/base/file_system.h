// The file system as the run sees it: the system calls that read the reports and the price and
// rate lists, list and examine directories, rename archives, and write the files the run makes.
// Everything that touches those files goes through one FileSystem, so that any of these calls can
// be made to fail on purpose (an interrupted call, a short read, an I/O error, an entry that
// vanishes).
//
// Each call gives what its system call gives and leaves errno set as it does, except that a
// call interrupted by a signal (EINTR) is made again. Closing a descriptor is not part of it.
#pragma once

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_descriptor.h"

namespace tollwick {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // openat(2); `dir_fd` may be AT_FDCWD.
  int OpenAt(int dir_fd, const std::string& name, int flags);
  // read(2) and pread(2).
  ssize_t Read(int fd, char* buffer, size_t count);
  ssize_t ReadAt(int fd, char* buffer, size_t count, uint64_t offset);
  // fstat(2), and fstatat(2) of an entry of an open directory (`flags` 0 or
  // AT_SYMLINK_NOFOLLOW).
  int Stat(int fd, struct stat& st);
  int StatAt(int dir_fd, const std::string& name, struct stat& st, int flags);
  // The names in the open directory `dir_fd`, "." and ".." left out, in the order the system
  // lists them: 0, or -1 with errno. The descriptor stays usable.
  int ListDirectory(int dir_fd, std::vector<std::string>& names);
  // Renames the entry `from` of the open directory to `to` there, never replacing an entry:
  // 0, or -1 with errno (EEXIST: `to` is taken). Where the file system lacks renameat2's
  // RENAME_NOREPLACE (EINVAL, ENOSYS, ENOTSUP), it links the new name and unlinks the old one.
  int RenameNoReplace(int dir_fd, const std::string& from, const std::string& to);
  // The absolute path of the working directory, or "" with errno when it has none (it was
  // removed, or its path is too long).
  std::string WorkingDirectory();

  // Writing files. openat(2) with a mode for a file it creates (O_CREAT, O_TMPFILE); the
  // descriptor is closed on exec.
  int OpenAt(int dir_fd, const std::string& name, int flags, mode_t mode);
  // readlinkat(2): the link's whole text into `target`; 0, or -1 with errno.
  int ReadLinkAt(int dir_fd, const std::string& name, std::string& target);
  // linkat(2), renameat(2) (replacing `to`), unlinkat(2).
  int LinkAt(int from_dir, const std::string& from, int to_dir, const std::string& to, int flags);
  int RenameAt(int from_dir, const std::string& from, int to_dir, const std::string& to);
  int UnlinkAt(int dir_fd, const std::string& name, int flags);
  // ftruncate(2), fchmod(2), fsync(2), write(2) and pwrite(2).
  int Truncate(int fd, uint64_t size);
  int ChangeMode(int fd, mode_t mode);
  int Sync(int fd);
  ssize_t Write(int fd, const char* buffer, size_t count);
  ssize_t WriteAt(int fd, const char* buffer, size_t count, uint64_t offset);
  // fstatvfs(2) of the open `fd`, or statvfs(3) of `path` when `fd` is -1: the room left.
  int SpaceStat(int fd, const std::string& path, struct statvfs& space);
  // 64 random bits: to seed the names of temporary files and the keys of hash tables with
  // (from getrandom(2), else /dev/urandom, else the clock).
  uint64_t RandomSeed();

 protected:
  // Each call is the system's unless a FileSystem says otherwise.
  virtual int DoOpenAt(int dir_fd, const std::string& name, int flags);
  virtual ssize_t DoRead(int fd, char* buffer, size_t count);
  virtual ssize_t DoReadAt(int fd, char* buffer, size_t count, uint64_t offset);
  virtual int DoStat(int fd, struct stat& st);
  virtual int DoStatAt(int dir_fd, const std::string& name, struct stat& st, int flags);
  virtual int DoListDirectory(int dir_fd, std::vector<std::string>& names);
  virtual int DoRenameNoReplace(int dir_fd, const std::string& from, const std::string& to);
  virtual std::string DoWorkingDirectory();
  virtual int DoCreateAt(int dir_fd, const std::string& name, int flags, mode_t mode);
  virtual int DoReadLinkAt(int dir_fd, const std::string& name, std::string& target);
  virtual int DoLinkAt(int from_dir, const std::string& from, int to_dir, const std::string& to,
                       int flags);
  virtual int DoRenameAt(int from_dir, const std::string& from, int to_dir, const std::string& to);
  virtual int DoUnlinkAt(int dir_fd, const std::string& name, int flags);
  virtual int DoTruncate(int fd, uint64_t size);
  virtual int DoChangeMode(int fd, mode_t mode);
  virtual int DoSync(int fd);
  virtual ssize_t DoWrite(int fd, const char* buffer, size_t count);
  virtual ssize_t DoWriteAt(int fd, const char* buffer, size_t count, uint64_t offset);
  virtual int DoSpaceStat(int fd, const std::string& path, struct statvfs& space);
  virtual uint64_t DoRandomSeed();
};

// The one that calls the system; it may be used from any thread.
FileSystem& SystemFileSystem();

// Reads `count` bytes at the file position (`offset` null) or at `*offset`, in as many reads as
// it takes: the number read, less than `count` only at the end of the file, or -1 with errno.
ssize_t ReadFully(FileSystem& files, int fd, char* buffer, size_t count,
                  const uint64_t* offset = nullptr);

// Writes all `count` bytes at the file position (`offset` null) or at `*offset`, in as many
// writes as it takes: 0, or -1 with errno.
int WriteFully(FileSystem& files, int fd, const char* buffer, size_t count,
               const uint64_t* offset = nullptr);

}  // namespace tollwick
