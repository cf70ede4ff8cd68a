#include "app/target_file_stand_in.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "base/errors.h"
#include "base/text.h"

namespace tollwick {

namespace {

[[noreturn]] void RaiseCreate(const std::string& path, int err) {
  Raise(ErrorKind::EFOpenError, "Cannot create file \"" + path + "\". " + SystemErrorText(err));
}

// The absolute path at the end of the links of `path`, its folder resolved.
std::string FinalTarget(FileSystem& files, std::string path) {
  if (path.empty() || path[0] != '/') {
    std::string cwd = files.WorkingDirectory();
    if (cwd.empty()) RaiseCreate(path, errno);
    path = cwd + "/" + path;
  }
  for (int links = 0;; ++links) {
    struct stat entry {};
    if (::lstat(path.c_str(), &entry) != 0 || !S_ISLNK(entry.st_mode)) {
      const size_t slash = path.rfind('/');
      std::unique_ptr<char, decltype(&std::free)> folder(
          ::realpath(path.substr(0, slash + 1).c_str(), nullptr), &std::free);
      if (folder == nullptr) RaiseCreate(path, errno);
      std::string resolved = folder.get();
      return resolved + (resolved.back() == '/' ? "" : "/") + path.substr(slash + 1);
    }
    if (links == 40) RaiseCreate(path, ELOOP);
    std::string link(PATH_MAX, '\0');
    const ssize_t size = ::readlink(path.c_str(), link.data(), link.size());
    if (size < 0) RaiseCreate(path, errno);
    link.resize(static_cast<size_t>(size));
    path = link[0] == '/' ? link : path.substr(0, path.rfind('/') + 1) + link;
  }
}

}  // namespace

TargetFileStandIn::TargetFileStandIn(FileSystem& files, const std::string& path,
                                     std::initializer_list<std::string_view> endings) {
  target_ = FinalTarget(files, path);
  bool ends_well = false;
  for (std::string_view ending : endings)
    ends_well = ends_well ||
                (target_.size() >= ending.size() &&
                 LowerAscii(std::string_view(target_).substr(target_.size() - ending.size())) ==
                     LowerAscii(ending));
  if (!ends_well) {
    Raise(ErrorKind::EFOpenError,
          "Cannot create file \"" + target_ + "\". Its name does not end in the right extension");
  }
  struct stat existing {};
  if (::stat(target_.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
    RaiseCreate(target_, S_ISDIR(existing.st_mode) ? EISDIR : EINVAL);
  std::string name = target_ + ".XXXXXX";
  int fd = ::mkstemp(name.data());
  if (fd < 0) RaiseCreate(target_, errno);
  temporary_ = name;
  if (fd <= 2) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    fd = moved;
    if (fd < 0) RaiseCreate(target_, errno);
  }
  fd_ = fd;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
}

TargetFileStandIn::~TargetFileStandIn() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void TargetFileStandIn::Commit() {
  if (::fsync(fd_) != 0 || ::rename(temporary_.c_str(), target_.c_str()) != 0)
    Raise(ErrorKind::EInOutError,
          "Cannot write file \"" + target_ + "\". " + SystemErrorText(errno));
  temporary_.clear();
}

}  // namespace tollwick
