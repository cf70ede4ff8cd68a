#include "base/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "base/errors.h"

namespace tollwick {

char* FileBytes::Make(size_t size) {
  if (size > data_.size() || data_.get() == nullptr) {
    data_.Reset();  // given back before the larger piece is taken
    data_ = LargeBuffer(std::max<size_t>(size, 1));
  }
  size_ = size;
  return data_.get();
}

OpenResult OpenRegularFileAt(FileSystem& files, int dir_fd, const std::string& name,
                             const std::string& path, FileDescriptor& fd, uint64_t& size) {
  fd = FileDescriptor(files.OpenAt(dir_fd, name, O_RDONLY | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) RaiseOpenError(path, errno);
  return CheckRegularFile(files, fd, path, size);
}

OpenResult CheckRegularFile(FileSystem& files, const FileDescriptor& fd, const std::string& path,
                            uint64_t& size) {
  struct stat st {};
  if (files.Stat(fd.get(), st) != 0) RaiseOpenError(path, errno);
  if (!S_ISREG(st.st_mode)) return OpenResult::NotRegular;
  size = static_cast<uint64_t>(st.st_size);
  return OpenResult::Read;
}

void ReadOpenFile(FileSystem& files, const FileDescriptor& fd, uint64_t size,
                  const std::string& path, FileBytes& bytes) {
  char* data = bytes.Make(static_cast<size_t>(size));
  const ssize_t got = ReadFully(files, fd.get(), data, static_cast<size_t>(size));
  if (got < 0) RaiseReadError(path, errno);
  if (static_cast<uint64_t>(got) < size) RaiseEndedEarly(path, static_cast<uint64_t>(got), size);
}

std::string AbsolutePath(FileSystem& files, const std::string& name) {
  if (!name.empty() && name.front() == '/') return name;
  std::string cwd = files.WorkingDirectory();
  if (cwd.empty()) return name;
  if (cwd.back() != '/') cwd += '/';
  return cwd + name;
}

}  // namespace tollwick
