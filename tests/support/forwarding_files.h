// A FileSystem that hands every call to another one: a test that fails a few calls on purpose
// overrides just those.
#pragma once

#include "base/file_system.h"

namespace tollwick::testing {

class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& base) : base_(base) {}

 protected:
  int DoOpenAt(int dir_fd, const std::string& name, int flags) override {
    return base_.OpenAt(dir_fd, name, flags);
  }
  ssize_t DoRead(int fd, char* buffer, size_t count) override {
    return base_.Read(fd, buffer, count);
  }
  ssize_t DoReadAt(int fd, char* buffer, size_t count, uint64_t offset) override {
    return base_.ReadAt(fd, buffer, count, offset);
  }
  int DoStat(int fd, struct stat& st) override { return base_.Stat(fd, st); }
  int DoStatAt(int dir_fd, const std::string& name, struct stat& st, int flags) override {
    return base_.StatAt(dir_fd, name, st, flags);
  }
  int DoListDirectory(int dir_fd, std::vector<std::string>& names) override {
    return base_.ListDirectory(dir_fd, names);
  }
  int DoRenameNoReplace(int dir_fd, const std::string& from, const std::string& to) override {
    return base_.RenameNoReplace(dir_fd, from, to);
  }
  std::string DoWorkingDirectory() override { return base_.WorkingDirectory(); }

 private:
  FileSystem& base_;
};

}  // namespace tollwick::testing
