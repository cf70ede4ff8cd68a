// Text deflated on a second thread, so that packing the rows of a large sheet goes on while the
// next rows are made. The text is appended to text() and handed over with Pass(); EndPart()
// ends a part: the text since the previous part as one raw deflate stream that ends on a byte
// boundary without a final block (a sync flush), so that other streams can come before and
// after it in one entry of a zip file. The packed parts go to a temporary file, removed from
// its folder as soon as it is made, so that memory does not grow with the text.
//
// A failure raises EInOutError "Cannot write file "<path>". <reason>" on the calling thread,
// at the Pass() or EndPart() after it happened. Not for use by more than one thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tollwick {

struct PackedPart {
  uint64_t offset = 0;       // in the temporary file
  uint64_t packed_size = 0;  // of the deflate stream
  uint64_t size = 0;         // of the text
  uint32_t crc = 0;          // CRC-32 of the text
};

class RowPacker {
 public:
  // The temporary file is made in `folder`; `path` names the file the parts are for, in error
  // messages. `level` is zlib's compression level.
  RowPacker(const std::string& folder, const std::string& path, int level);
  ~RowPacker();
  RowPacker(const RowPacker&) = delete;
  RowPacker& operator=(const RowPacker&) = delete;

  std::string& text() { return text_; }
  // Hands text() over once it holds a piece worth packing on its own.
  void Pass() {
    if (text_.size() >= kPieceSize) HandOver(false);
  }
  PackedPart EndPart();
  // The temporary file, to read the parts back from; valid while the packer lives.
  int fd() const { return fd_; }

  static constexpr size_t kPieceSize = size_t{1} << 20;

 private:
  struct Piece {
    std::string text;
    bool ends_part = false;
  };
  void HandOver(bool ends_part);
  void Work();
  void Pack(const Piece& piece);  // on the packing thread
  void WriteOut(const char* data, size_t size);
  [[noreturn]] void Fail(int error) const;

  const std::string& path_;
  int fd_ = -1;
  std::string text_;

  // Shared with the packing thread, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece> waiting_;      // handed over, not yet packed
  std::deque<std::string> spare_;  // packed, for reuse
  bool stopping_ = false;
  size_t parts_done_ = 0;
  PackedPart last_part_;  // the last part done
  int error_ = 0;         // errno of the first failure

  struct Stream;
  std::unique_ptr<Stream> stream_;  // used by the packing thread alone
  std::thread thread_;
  size_t parts_asked_ = 0;
};

}  // namespace tollwick
