// Append-only storage for many short texts, each copied once into large shared blocks.
//
// A text added stays at its address until the store is cleared: blocks are never moved or
// resized, and a text longer than a block gets a block of its own. Compared with one
// std::string per text, a text costs its bytes alone: no allocation, no header, no rounding.
#pragma once

#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "base/large_memory.h"

namespace tollwick {

class TextStore {
 public:
  // A copy of `text` that lives as long as the store's contents.
  std::string_view Add(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > room_) {
      size_t size = text.size() > kBlock / 4 ? text.size() : kBlock;
      blocks_.emplace_back(size);
      char* block = blocks_.back().get();
      std::memcpy(block, text.data(), text.size());
      if (size == kBlock) {  // a text with a block of its own leaves the current one alone
        next_ = block + text.size();
        room_ = size - text.size();
        // A store that fills blocks soon needs another: its pages are touched ahead of time.
        if (++full_blocks_ >= 2) PrepareLarge(kBlock);
      }
      return {block, text.size()};
    }
    char* at = next_;
    std::memcpy(at, text.data(), text.size());
    next_ += text.size();
    room_ -= text.size();
    return {at, text.size()};
  }

  void Clear() {
    full_blocks_ = 0;
    blocks_.clear();
    blocks_.shrink_to_fit();
    next_ = nullptr;
    room_ = 0;
  }

 private:
  static constexpr size_t kBlock = size_t{2} << 20;  // one huge page
  std::vector<LargeBuffer> blocks_;
  size_t full_blocks_ = 0;  // blocks begun as the current one
  char* next_ = nullptr;    // free bytes of the current block
  size_t room_ = 0;
};

}  // namespace tollwick
