// A file written under a temporary name beside its target and given the target's name by
// Commit(); destroyed without it, it leaves nothing behind. The target is the end of the
// chain of symbolic links of `path`, whose name must end in one of `endings` (any case).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "base/file_system.h"

namespace tollwick {

class TargetFileStandIn {
 public:
  // Raises EFOpenError "Cannot create file "<target>". <reason>".
  TargetFileStandIn(FileSystem& files, const std::string& path,
                    std::initializer_list<std::string_view> endings);
  ~TargetFileStandIn();
  TargetFileStandIn(const TargetFileStandIn&) = delete;
  TargetFileStandIn& operator=(const TargetFileStandIn&) = delete;

  int fd() const { return fd_; }  // never 0-2
  const std::string& target() const { return target_; }
  void Commit();  // EInOutError on failure

 private:
  int fd_ = -1;
  std::string target_, temporary_;
};

}  // namespace tollwick
