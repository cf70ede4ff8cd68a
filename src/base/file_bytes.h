// Reading a whole regular file with one pass of read() into one buffer.
//
// The file is opened read-only and non-blocking, so that a FIFO or device that took the place of
// a listed file cannot block the run; after opening, anything but a regular file is treated as
// no file at all. The buffer is not zero-filled first; the size comes from fstat when the file
// is opened, and the file is read up to that size: what it gains meanwhile is not read, and a
// file that ends before that size ends the run (EInOutError).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tollwick {

class FileBytes {
 public:
  FileBytes() = default;
  std::string_view view() const { return {data_.get(), size_}; }
  char* data() { return data_.get(); }
  size_t size() const { return size_; }
  void Shrink(size_t size) { size_ = size; }
  // Empties the contents and keeps the memory for the next read.
  void Clear() { size_ = 0; }
  // Empties the contents, and gives the memory back when it is more than `keep` bytes.
  void Clear(size_t keep) {
    size_ = 0;
    if (capacity_ > keep) {
      data_.reset();
      capacity_ = 0;
    }
  }

  // Appends up to `count` bytes from `fd` after the current contents. Returns 1 when all
  // `count` bytes came, 0 at end of file, or the negated errno of a failed read.
  int ReadMore(int fd, size_t count);

 private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

enum class OpenResult { Read, NotRegular };

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

// Opens `path` read-only and non-blocking. Raises "Cannot open file ..." when it cannot be
// opened; returns NotRegular when it is no regular file once opened; else sets `size`.
OpenResult OpenRegularFile(const std::string& path, FileDescriptor& fd, uint64_t& size);

// Opens the entry `name` of the open directory `dir_fd` as OpenRegularFile does; `path` (the
// entry's absolute path) is what an error names.
OpenResult OpenRegularFileAt(int dir_fd, const std::string& name, const std::string& path,
                             FileDescriptor& fd, uint64_t& size);

// Reads the whole of an open regular file of `size` bytes (its size when opened) into `bytes`,
// replacing its contents. A failed read raises "Cannot open file "<path>". <reason>", a file
// that ends early "File "<path>" ended after <N> of <size> bytes.".
void ReadOpenFile(const FileDescriptor& fd, uint64_t size, const std::string& path,
                  FileBytes& bytes);

// Reads the file at `path` into `bytes`, replacing its contents; memory that `bytes` already
// holds is reused, so a walk that passes the same buffer for every file allocates (and the
// system maps fresh pages) only when a file is larger than all before it. A file that cannot be
// opened or read raises "Cannot open file "<path>". <reason>". Returns NotRegular (and reads
// nothing) when the path names something other than a regular file once opened.
OpenResult ReadWholeFile(const std::string& path, FileBytes& bytes);

// The current working directory as getcwd gives it, or an empty text (with errno set) when it
// has none (it was removed, or its path is too long).
std::string WorkingDirectory();

// `path` as an absolute path: relative paths are taken from the current directory. When the
// current directory has no path (it was removed), `path` is given back unchanged.
std::string AbsolutePath(const std::string& path);

}  // namespace tollwick
