// Inflating one raw deflate stream, the data of a ZIP entry of method 8, with zlib.
//
// The compressed bytes are pulled in chunks, so the stream's own end tells how long it is
// (an entry streamed with a data descriptor declares no size). The output is either kept or
// only counted and checksummed, in a small buffer used again and again. Kept output is written
// once, into memory that grows with what the stream actually yields: it is grown by remapping
// its pages (LargeBuffer::Grow), never by copying, and a declared size is a limit, never an
// allocation. Inflating stops as soon as the output passes the limit.
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

// Memory for the output of the streams of one archive, used for one stream after the other.
class InflateOutput {
 public:
  // The output kept by the last stream.
  std::string_view view() const { return {kept_.get(), size_}; }
  // Hands over the memory of the kept output (the output in its first view().size() bytes);
  // the next stream starts in fresh memory.
  LargeBuffer TakeKept() {
    size_ = 0;
    return std::move(kept_);
  }

 private:
  friend Inflated InflateStream(const std::function<std::string_view()>&, uint64_t, InflateOutput&,
                                bool, const std::function<void(uint64_t)>&);
  LargeBuffer kept_;
  size_t size_ = 0;
  std::unique_ptr<char[]> scratch_;  // where output that is not kept goes
};

// Inflates the stream whose compressed bytes `next_chunk` gives one chunk after the other (an
// empty chunk: there are no more), into `output` when `keep`. Before the kept memory grows,
// `hold` (when set) is told by how many bytes; it may wait, or raise to stop the inflating.
Inflated InflateStream(const std::function<std::string_view()>& next_chunk, uint64_t limit,
                       InflateOutput& output, bool keep,
                       const std::function<void(uint64_t)>& hold = {});

}  // namespace tollwick
