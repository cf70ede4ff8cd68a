// A file system that fails, on any thread, the calls it is told to fail and hands the rest to the
// system: interrupted calls, short, failing or early ending reads, failing listings, vanishing
// entries, failing archive renames; missing unnamed files, failing links, renames, syncs, writes.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/file_system.h"

namespace tollwick::testing {

class FaultyFiles : public FileSystem {
 public:
  bool interrupt = false;    // each reading or walking call is interrupted once (EINTR) first
  size_t read_cap = 0;       // reads give at most so many bytes (0: as asked)
  std::string failing_file;  // reads of this file at or past `fail_at` fail with `read_error`,
  uint64_t fail_at = 0;      // or (read_error 0) find the file's end there
  int read_error = EIO;
  std::string failing_list;      // the directory whose listing fails
  std::string vanished;          // the entry that is gone when examined or opened
  int archive_rename_error = 0;  // RenameNoReplace fails so (EINVAL: as without RENAME_NOREPLACE)
  std::function<void(const std::string&)> before_archive_rename = [](const std::string&) {};
  std::atomic<size_t> names_examined{0};   // StatAt and RenameNoReplace calls
  std::vector<std::string> reopened_from;  // the folder whose ".." was opened to go back up

  bool no_unnamed_files = false;  // O_TMPFILE fails as on a file system without it
  int link_error = 0, rename_error = 0, sync_error = 0;
  std::function<void()> before_rename = [] {};
  // Calls that change a file's bytes (write, pwrite, ftruncate), on any thread, counted from 0;
  // the one numbered `failing_write` fails with ENOSPC.
  std::atomic<int> writes{0};
  int failing_write = -1;

 protected:
  int DoOpenAt(int dir, const std::string& name, int flags) override {
    if (Interrupted()) return -1;
    if (Vanished(name)) return Fail(ENOENT);
    if (name == ".." && (flags & O_PATH) == 0) reopened_from.push_back(NameOf(dir));
    return Real().OpenAt(dir, name, flags);
  }
  ssize_t DoRead(int fd, char* buffer, size_t count) override {
    return Reading(fd, buffer, count, nullptr);
  }
  ssize_t DoReadAt(int fd, char* buffer, size_t count, uint64_t offset) override {
    return Reading(fd, buffer, count, &offset);
  }
  int DoStat(int fd, struct stat& st) override { return Interrupted() ? -1 : Real().Stat(fd, st); }
  int DoStatAt(int dir, const std::string& name, struct stat& st, int flags) override {
    if (Interrupted()) return -1;
    ++names_examined;
    return Vanished(name) ? Fail(ENOENT) : Real().StatAt(dir, name, st, flags);
  }
  int DoListDirectory(int dir, std::vector<std::string>& names) override {
    if (Interrupted()) return -1;
    const bool fails = !failing_list.empty() && NameOf(dir) == failing_list;
    return fails ? Fail(EIO) : Real().ListDirectory(dir, names);
  }
  int DoRenameNoReplace(int dir, const std::string& from, const std::string& to) override {
    if (Interrupted()) return -1;
    ++names_examined;
    before_archive_rename(to);
    return archive_rename_error != 0 ? Fail(archive_rename_error)
                                     : Real().RenameNoReplace(dir, from, to);
  }
  std::string DoWorkingDirectory() override {
    return Interrupted() ? std::string() : Real().WorkingDirectory();
  }

  int DoCreateAt(int dir, const std::string& name, int flags, mode_t mode) override {
    if (no_unnamed_files && (flags & O_TMPFILE) == O_TMPFILE) return Fail(EOPNOTSUPP);
    return Real().OpenAt(dir, name, flags, mode);
  }
  int DoLinkAt(int from_dir, const std::string& from, int to_dir, const std::string& to,
               int flags) override {
    return link_error != 0 ? Fail(link_error) : Real().LinkAt(from_dir, from, to_dir, to, flags);
  }
  int DoRenameAt(int from_dir, const std::string& from, int to_dir,
                 const std::string& to) override {
    before_rename();
    return rename_error != 0 ? Fail(rename_error) : Real().RenameAt(from_dir, from, to_dir, to);
  }
  ssize_t DoWrite(int fd, const char* buffer, size_t count) override {
    return Written() ? Fail(ENOSPC) : Real().Write(fd, buffer, count);
  }
  ssize_t DoWriteAt(int fd, const char* buffer, size_t count, uint64_t offset) override {
    return Written() ? Fail(ENOSPC) : Real().WriteAt(fd, buffer, count, offset);
  }
  int DoTruncate(int fd, uint64_t size) override {
    return Written() ? Fail(ENOSPC) : Real().Truncate(fd, size);
  }
  int DoSync(int fd) override { return sync_error != 0 ? Fail(sync_error) : Real().Sync(fd); }

 private:
  static FileSystem& Real() { return SystemFileSystem(); }
  static int Fail(int err) {
    errno = err;
    return -1;
  }
  // The last part of the path the descriptor was opened by, as the system keeps it.
  static std::string NameOf(int fd) {
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd)).filename();
  }
  bool Interrupted() {
    thread_local bool interrupted = false;
    interrupted = interrupt && !interrupted;
    if (interrupted) errno = EINTR;
    return interrupted;
  }
  bool Vanished(const std::string& name) const { return !vanished.empty() && name == vanished; }
  bool Written() { return writes++ == failing_write; }
  ssize_t Reading(int fd, char* buffer, size_t count, const uint64_t* at) {
    if (Interrupted()) return -1;
    if (read_cap != 0) count = std::min(count, read_cap);
    if (!failing_file.empty() && NameOf(fd) == failing_file) {
      const uint64_t offset = at != nullptr ? *at : static_cast<uint64_t>(::lseek(fd, 0, SEEK_CUR));
      if (offset >= fail_at) return read_error != 0 ? Fail(read_error) : 0;
      count = static_cast<size_t>(std::min<uint64_t>(count, fail_at - offset));
    }
    return at != nullptr ? Real().ReadAt(fd, buffer, count, *at) : Real().Read(fd, buffer, count);
  }
};

// The name the write-fault tests know it by.
using FaultyWrites = FaultyFiles;

}  // namespace tollwick::testing
