// Inflating one raw deflate stream, the data of a ZIP entry of method 8, with zlib.
//
// The compressed bytes are pulled in chunks, so the stream's own end tells how long it is
// (an entry streamed with a data descriptor declares no size). The output is either kept, in
// memory that grows with what the stream actually yields (a declared size is a limit, never an
// allocation), or only counted and checksummed. Inflating stops as soon as the output passes
// the limit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "base/large_memory.h"

namespace tollwick {

struct Inflated {
  bool ended = false;     // the stream reached its end without a zlib error
  bool too_long = false;  // the output passed the limit (inflating stopped there)
  uint64_t consumed = 0;  // compressed bytes up to the stream's end
  uint64_t produced = 0;  // bytes of output
  uint32_t crc = 0;       // CRC-32 of the output
};

// Memory for the output of one stream.
class InflateOutput {
 public:
  std::string_view view() const { return {data_.get(), size_}; }

 private:
  friend Inflated InflateStream(const std::function<std::string_view()>&, uint64_t, InflateOutput*,
                                uint64_t);
  LargeBuffer data_;
  size_t size_ = 0;
};

// Inflates the stream whose compressed bytes `next_chunk` gives one chunk after the other (an
// empty chunk: there are no more). With `keep` the output is kept there; `size_hint` (the size
// the output probably has) sizes its first piece of memory.
Inflated InflateStream(const std::function<std::string_view()>& next_chunk, uint64_t limit,
                       InflateOutput* keep, uint64_t size_hint = 0);

}  // namespace tollwick
