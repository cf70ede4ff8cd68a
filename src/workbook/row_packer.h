// Text deflated on threads of its own, so that packing the rows of a large sheet goes on while
// the next rows are made. The text is appended to text() and handed over with Pass() in pieces
// of about a megabyte; the packing threads deflate the pieces side by side, each with the end of
// the piece before it as its dictionary (so that they pack about as well as one stream), and
// write them out in order. EndPart() ends a part: the text since the previous part as raw
// deflate data that ends on a byte boundary without a final block (a sync flush), so that other
// streams can come before and after it in one entry of a zip file. Parts go to an unnamed file
// in the workbook's folder (or, where the file system has none, a hidden one removed from its
// folder as soon as it is made), so that memory does not grow with the text. Its file-system
// calls go through the FileSystem given.
//
// A failure raises EInOutError "Cannot write file "<path>". <reason>" on the calling thread,
// at a Pass() or EndPart() after it happened. The calls are for one thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/file_bytes.h"
#include "base/file_system.h"

namespace tollwick {

// Deflates all of `text` at once as raw deflate data into `out` (grown as needed, never shrunk),
// after `dictionary` (may be empty): with `final` a final block ends it, else a sync flush.
// Gives the bytes written, 0 when zlib failed.
size_t DeflateRaw(std::string_view text, std::string_view dictionary, int level, bool final,
                  std::string& out);

struct PackedPart {
  uint64_t offset = 0;       // in the temporary file
  uint64_t packed_size = 0;  // of the deflate data
  uint64_t size = 0;         // of the text
  uint32_t crc = 0;          // CRC-32 of the text
};

class RowPacker {
 public:
  // The temporary file is made in the open folder `folder_fd`; `path` names the file the parts
  // are for, in error messages. `level` is zlib's compression level; `threads` pack (at least
  // one); text is handed over in pieces of about `piece_size` bytes. `files` must outlive the
  // packer.
  RowPacker(FileSystem& files, int folder_fd, const std::string& path, int level,
            size_t threads = 2, size_t piece_size = size_t{1} << 20);
  ~RowPacker();
  RowPacker(const RowPacker&) = delete;
  RowPacker& operator=(const RowPacker&) = delete;

  std::string& text() { return text_; }
  // Hands text() over once it holds a piece worth packing on its own.
  void Pass() {
    if (text_.size() >= piece_size_) HandOver(false);
  }
  PackedPart EndPart();
  // The temporary file, to read the parts back from; valid while the packer lives.
  int fd() const { return file_.get(); }

 private:
  struct Piece {
    std::string text;
    std::string dictionary;  // the end of the piece before, in the same part
    bool ends_part = false;
    uint64_t number = 0;  // in the order of handing over
  };
  struct Packed {
    std::string data;  // the first `size` bytes
    size_t size = 0;
    uint32_t crc = 0;
  };
  void HandOver(bool ends_part);
  void Work();
  // On a packing thread; false when zlib failed.
  static bool Pack(const Piece& piece, int level, Packed& out);
  [[noreturn]] void Fail(int error) const;

  FileSystem& files_;
  const std::string& path_;
  const int level_;
  FileDescriptor file_;
  const size_t piece_size_;
  std::string text_;
  std::string dictionary_;  // the end of the text handed over last, within the part
  uint64_t handed_over_ = 0;
  uint64_t parts_asked_ = 0;

  // Shared with the packing threads, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece> waiting_;      // handed over, not yet taken
  std::deque<std::string> spare_;  // packed, for reuse
  bool stopping_ = false;
  uint64_t next_to_write_ = 0;  // the number of the piece whose turn it is
  uint64_t written_ = 0;        // bytes in the file
  PackedPart part_;             // being written
  PackedPart last_part_;        // the last part ended
  uint64_t parts_done_ = 0;
  int error_ = 0;  // errno of the first failure

  std::vector<std::thread> threads_;
};

}  // namespace tollwick
