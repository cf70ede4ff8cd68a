// Reading a whole regular file with one pass of read() into one buffer.
//
// The file is opened read-only and non-blocking, so that a FIFO or device that took the place of
// a listed file cannot block the run; after opening, anything but a regular file is treated as
// no file at all. The buffer is not zero-filled first; the size comes from fstat, and a file
// that grows or shrinks while it is read is read up to its end as read() sees it.
#pragma once

#include <cstddef>
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

  // Appends up to `count` bytes from `fd` after the current contents. Returns 1 when all
  // `count` bytes came, 0 at end of file, or the negated errno of a failed read.
  int ReadMore(int fd, size_t count);

 private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

enum class OpenResult { Read, NotRegular };

// Reads the file at `path` into `bytes`. A file that cannot be opened or read raises
// "Cannot open file "<path>". <reason>". Returns NotRegular (and reads nothing) when the path
// names something other than a regular file once opened.
OpenResult ReadWholeFile(const std::string& path, FileBytes& bytes);

// `path` as an absolute path: relative paths are taken from the current directory.
std::string AbsolutePath(const std::string& path);

}  // namespace tollwick
