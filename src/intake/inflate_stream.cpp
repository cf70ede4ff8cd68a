#include "intake/inflate_stream.h"

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <new>

namespace tollwick {

namespace {

// zlib's stream, ended whatever happens.
struct RawInflater {
  z_stream z{};
  bool ok = false;
  RawInflater() { ok = inflateInit2(&z, -MAX_WBITS) == Z_OK; }
  ~RawInflater() {
    if (ok) inflateEnd(&z);
  }
  RawInflater(const RawInflater&) = delete;
  RawInflater& operator=(const RawInflater&) = delete;
};

constexpr size_t kScratch = size_t{1} << 16;
// The kept memory's first size: one huge page, which the first touch maps whole anyway.
constexpr size_t kFirstKept = size_t{2} << 20;
// The most handed to zlib in one call, whose counts are 32 bits wide.
constexpr size_t kMostPerCall = size_t{1} << 30;

}  // namespace

Inflated InflateStream(const std::function<std::string_view()>& next_chunk, uint64_t limit,
                       InflateOutput& output, bool keep,
                       const std::function<void(uint64_t)>& hold) {
  Inflated result;
  RawInflater inflater;
  if (!inflater.ok) throw std::bad_alloc();
  z_stream& z = inflater.z;
  // The output may pass the limit by one byte: that byte shows that it did.
  const uint64_t room = limit + 1;
  if (!keep && !output.scratch_) output.scratch_ = std::make_unique_for_overwrite<char[]>(kScratch);
  output.size_ = 0;
  LargeBuffer& kept = output.kept_;
  std::string_view chunk;
  for (;;) {
    if (z.avail_in == 0) {
      chunk = next_chunk();
      if (chunk.empty()) return result;  // the data ended before the stream did
      z.next_in = reinterpret_cast<const Bytef*>(chunk.data());
      z.avail_in = static_cast<uInt>(chunk.size());
    }
    char* out = nullptr;
    size_t space = 0;
    if (!keep) {
      out = output.scratch_.get();
      space = static_cast<size_t>(std::min<uint64_t>(kScratch, room - result.produced));
    } else {
      if (output.size_ == kept.size()) {
        // Full: grown by doubling, up to the limit; the pages move, the bytes are not copied.
        const uint64_t grown =
            std::min<uint64_t>(room, std::max<uint64_t>(kFirstKept, uint64_t{kept.size()} * 2));
        if (hold) hold(grown - kept.size());
        kept.Grow(static_cast<size_t>(grown));
      }
      out = kept.get() + output.size_;
      space = std::min(kept.size() - output.size_, kMostPerCall);
    }
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = static_cast<uInt>(space);
    const int status = inflate(&z, Z_NO_FLUSH);
    const size_t made = space - z.avail_out;
    // Checked while the bytes just written are still in the cache.
    result.crc = static_cast<uint32_t>(
        crc32(result.crc, reinterpret_cast<const Bytef*>(out), static_cast<uInt>(made)));
    result.produced += made;
    if (keep) output.size_ += made;
    if (result.produced > limit) {
      result.too_long = true;
      return result;
    }
    if (status == Z_STREAM_END) {
      result.ended = true;
      result.consumed = z.total_in;
      return result;
    }
    // Z_BUF_ERROR only says that no progress was possible: more input or more room follows.
    if (status != Z_OK && status != Z_BUF_ERROR) return result;
    if (status == Z_BUF_ERROR && z.avail_in != 0 && z.avail_out != 0) return result;
  }
}

}  // namespace tollwick
