#include "base/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "base/errors.h"

namespace tollwick {

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

namespace {

OpenResult CheckRegular(const std::string& path, const FileDescriptor& fd, uint64_t& size) {
  if (fd.get() < 0) RaiseOpenError(path, errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) RaiseOpenError(path, errno);
  if (!S_ISREG(st.st_mode)) return OpenResult::NotRegular;
  size = static_cast<uint64_t>(st.st_size);
  return OpenResult::Read;
}

}  // namespace

OpenResult OpenRegularFile(const std::string& path, FileDescriptor& fd, uint64_t& size) {
  fd = FileDescriptor(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  return CheckRegular(path, fd, size);
}

OpenResult OpenRegularFileAt(int dir_fd, const std::string& name, const std::string& path,
                             FileDescriptor& fd, uint64_t& size) {
  fd = FileDescriptor(::openat(dir_fd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  return CheckRegular(path, fd, size);
}

int FileBytes::ReadMore(int fd, size_t count) {
  if (size_ + count > capacity_) {
    size_t capacity = std::max(size_ + count, capacity_ + capacity_ / 2);
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  size_t wanted = size_ + count;
  while (size_ < wanted) {
    ssize_t n = ::read(fd, data_.get() + size_, wanted - size_);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -errno;
    if (n == 0) return 0;
    size_ += static_cast<size_t>(n);
  }
  return 1;
}

OpenResult ReadWholeFile(const std::string& path, FileBytes& bytes) {
  FileDescriptor fd;
  uint64_t size = 0;
  if (OpenRegularFile(path, fd, size) != OpenResult::Read) return OpenResult::NotRegular;
  ReadOpenFile(fd, size, path, bytes);
  return OpenResult::Read;
}

void ReadOpenFile(const FileDescriptor& fd, uint64_t size, const std::string& path,
                  FileBytes& bytes) {
  bytes.Clear();
  // The size when opened: bytes added meanwhile are not read, a file cut meanwhile is an error.
  const int status = bytes.ReadMore(fd.get(), static_cast<size_t>(size));
  if (status < 0) RaiseOpenError(path, -status);
  if (status == 0) RaiseEndedEarly(path, bytes.size(), size);
}

std::string WorkingDirectory() {
  std::string cwd(256, '\0');
  while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) return {};
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(std::strlen(cwd.c_str()));
  // The system gives no relative path, but nothing may be built on one.
  if (cwd.empty() || cwd.front() != '/') {
    errno = ENOENT;
    return {};
  }
  return cwd;
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  std::string cwd = WorkingDirectory();
  if (cwd.empty()) return path;
  if (cwd.back() != '/') cwd += '/';
  return cwd + path;
}

}  // namespace tollwick
