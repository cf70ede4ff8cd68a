// Plain descriptor helpers: a descriptor closed on destruction, writing a whole text to one,
// and keeping the files the run writes off the standard descriptors.
#pragma once

#include <string_view>

namespace tollwick {

// An open file descriptor, closed on destruction.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

// Writes all of `text` to `fd` (standard output or error), in as many writes as it takes: 0, or
// the errno of the write that failed (EIO for one that wrote nothing).
int WriteAll(int fd, std::string_view text);

// A descriptor above the standard ones (0-2) for the file open as `fd`: `fd` itself, or a copy
// of it with `fd` closed; -1 with errno when `fd` is -1 or cannot be copied. A file the run
// writes never takes the place of a standard descriptor, even one that was closed.
int MoveAboveStandard(int fd);

}  // namespace tollwick
