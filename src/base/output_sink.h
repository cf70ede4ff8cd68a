// Standard output of a run: one large buffer written to a file descriptor when it fills and
// when the run ends. A failed write raises EInOutError naming the system's reason. A sink
// without a descriptor keeps everything in memory.
#pragma once

#include <string>
#include <string_view>

#include "base/file_descriptor.h"

namespace tollwick {

class OutputSink {
 public:
  static constexpr int kMemory = -1;
  explicit OutputSink(int fd = kMemory) : fd_(fd) {}

  // A text as large as the buffer is written straight out after what is buffered, not
  // copied into the buffer first.
  void Append(std::string_view text) {
    if (text.size() >= kFlushSize && fd_ != kMemory) {
      Flush();
      Write(text);
      return;
    }
    buffer_.append(text);
    if (buffer_.size() >= kFlushSize && fd_ != kMemory) Flush();
  }
  void Append(char c) { buffer_.push_back(c); }
  // CR LF, the end of every output line.
  void EndLine() {
    buffer_.append("\r\n", 2);
    if (buffer_.size() >= kFlushSize && fd_ != kMemory) Flush();
  }
  // The buffer itself, for writers that format numbers in place.
  std::string& buffer() { return buffer_; }

  // Writes out what is buffered; a memory sink keeps it.
  void Flush();
  // What a memory sink holds.
  const std::string& text() const { return buffer_; }

 private:
  static constexpr size_t kFlushSize = 1 << 20;
  // Writes out `text`; a failed write raises.
  void Write(std::string_view text) const;
  int fd_;
  std::string buffer_;
};

}  // namespace tollwick
