// A file system that fails the calls that write files when it is told to; everything else is
// the system's.
#pragma once

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <string>

#include "base/file_system.h"

namespace tollwick::testing {

class FaultyWrites : public FileSystem {
 public:
  bool no_unnamed_files = false;  // O_TMPFILE fails as on a file system without it
  int link_error = 0, rename_error = 0, sync_error = 0;
  std::function<void()> before_rename = [] {};
  // Calls that change a file's bytes (write, pwrite, ftruncate), on any thread, counted from 0;
  // the one numbered `failing_write` fails with ENOSPC.
  std::atomic<int> writes{0};
  int failing_write = -1;

 protected:
  int DoCreateAt(int dir, const std::string& name, int flags, mode_t mode) override {
    if (no_unnamed_files && (flags & O_TMPFILE) == O_TMPFILE) return Fail(EOPNOTSUPP);
    return System().OpenAt(dir, name, flags, mode);
  }
  int DoLinkAt(int from_dir, const std::string& from, int to_dir, const std::string& to,
               int flags) override {
    return link_error != 0 ? Fail(link_error) : System().LinkAt(from_dir, from, to_dir, to, flags);
  }
  int DoRenameAt(int from_dir, const std::string& from, int to_dir,
                 const std::string& to) override {
    before_rename();
    return rename_error != 0 ? Fail(rename_error) : System().RenameAt(from_dir, from, to_dir, to);
  }
  ssize_t DoWrite(int fd, const char* buffer, size_t count) override {
    return Written() ? Fail(ENOSPC) : System().Write(fd, buffer, count);
  }
  ssize_t DoWriteAt(int fd, const char* buffer, size_t count, uint64_t offset) override {
    return Written() ? Fail(ENOSPC) : System().WriteAt(fd, buffer, count, offset);
  }
  int DoTruncate(int fd, uint64_t size) override {
    return Written() ? Fail(ENOSPC) : System().Truncate(fd, size);
  }
  int DoSync(int fd) override { return sync_error != 0 ? Fail(sync_error) : System().Sync(fd); }

 private:
  static FileSystem& System() { return SystemFileSystem(); }
  bool Written() { return writes++ == failing_write; }
  static int Fail(int err) {
    errno = err;
    return -1;
  }
};

}  // namespace tollwick::testing
