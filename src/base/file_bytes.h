// Opening and reading a whole regular file into one buffer, through a FileSystem.
//
// A file is opened read-only and non-blocking, so that a FIFO or device that took the place of
// a listed file cannot block the run; after opening, anything but a regular file is treated as
// no file at all. Its size is taken when it is opened, and it is read up to that size: what it
// gains meanwhile is not read, and a file that ends before that size (replaced or cut while it
// is read) ends the run. The buffer is not zero-filled first, and its memory is reused for the
// next file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/file_descriptor.h"
#include "base/file_system.h"
#include "base/large_memory.h"

namespace tollwick {

class FileBytes {
 public:
  FileBytes() = default;
  std::string_view view() const { return {data_.get(), size_}; }
  char* data() { return data_.get(); }
  size_t size() const { return size_; }
  void Shrink(size_t size) { size_ = size; }
  // Empties the contents, and gives the memory back when it is more than `keep` bytes.
  void Clear(size_t keep) {
    size_ = 0;
    if (data_.size() > keep) data_.Reset();
  }
  // Room for `size` bytes, the contents lost; the memory is reused when large enough.
  char* Make(size_t size);

 private:
  LargeBuffer data_;
  size_t size_ = 0;
};

enum class OpenResult { Read, NotRegular };

// Opens the entry `name` of the open directory `dir_fd` (AT_FDCWD: of the working directory)
// read-only and non-blocking; `path`, its absolute path, is what an error names. Raises
// "Cannot open file "<path>". <reason>" (EFOpenError) when it cannot be opened; returns
// NotRegular when it is no regular file once opened; else sets `size`.
OpenResult OpenRegularFileAt(FileSystem& files, int dir_fd, const std::string& name,
                             const std::string& path, FileDescriptor& fd, uint64_t& size);

// Whether the open `fd` is a regular file (and then its `size`); `path` is what an error names.
OpenResult CheckRegularFile(FileSystem& files, const FileDescriptor& fd, const std::string& path,
                            uint64_t& size);

// Reads the whole of an open regular file of `size` bytes (its size when opened) into `bytes`,
// replacing its contents. A failed read raises "Cannot read file "<path>". <reason>"
// (EInOutError), a file that ends early "File "<path>" ended after <N> of <size> bytes."
void ReadOpenFile(FileSystem& files, const FileDescriptor& fd, uint64_t size,
                  const std::string& path, FileBytes& bytes);

// The path `name` taken from the working directory, as an absolute path; `name` itself when
// it is absolute, or when the working directory has no path.
std::string AbsolutePath(FileSystem& files, const std::string& name);
inline std::string AbsolutePath(const std::string& name) {
  return AbsolutePath(SystemFileSystem(), name);
}

}  // namespace tollwick
