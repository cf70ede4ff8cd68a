#include "intake/inflate_stream.h"

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <cstring>
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
constexpr size_t kFirstKept = size_t{1} << 20;

}  // namespace

Inflated InflateStream(const std::function<std::string_view()>& next_chunk, uint64_t limit,
                       InflateOutput* keep, uint64_t size_hint) {
  Inflated result;
  RawInflater inflater;
  if (!inflater.ok) throw std::bad_alloc();
  z_stream& z = inflater.z;
  // The output may pass the limit by one byte: that byte shows that it did.
  const uint64_t room = limit + 1;
  std::unique_ptr<char[]> scratch;
  if (keep == nullptr) {
    scratch = std::make_unique_for_overwrite<char[]>(kScratch);
  } else {
    keep->size_ = 0;
    const uint64_t first = std::min<uint64_t>(room, std::max<uint64_t>(size_hint + 1, kFirstKept));
    if (keep->data_.size() < first) keep->data_ = LargeBuffer(static_cast<size_t>(first));
  }
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
    if (keep == nullptr) {
      out = scratch.get();
      space = static_cast<size_t>(std::min<uint64_t>(kScratch, room - result.produced));
    } else {
      if (keep->size_ == keep->data_.size()) {
        // Grown by doubling up to the limit, with what the stream has yielded so far.
        const uint64_t grown = std::min<uint64_t>(room, uint64_t{keep->data_.size()} * 2);
        LargeBuffer bigger(static_cast<size_t>(grown));
        std::memcpy(bigger.get(), keep->data_.get(), keep->size_);
        keep->data_ = std::move(bigger);
      }
      out = keep->data_.get() + keep->size_;
      space = std::min<size_t>(keep->data_.size() - keep->size_, size_t{1} << 30);
    }
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = static_cast<uInt>(space);
    const int status = inflate(&z, Z_NO_FLUSH);
    const size_t made = space - z.avail_out;
    result.crc = static_cast<uint32_t>(
        crc32(result.crc, reinterpret_cast<const Bytef*>(out), static_cast<uInt>(made)));
    result.produced += made;
    if (keep != nullptr) keep->size_ += made;
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
