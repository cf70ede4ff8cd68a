#include "tables/record_index.h"

#include <bit>
#include <cstring>
#include <new>

namespace tollwick {

namespace {

constexpr uint64_t Rotate(uint64_t x, int bits) {
  return (x << bits) | (x >> (64 - bits));
}

uint64_t LittleEndian64(const unsigned char* p) {
  uint64_t value;
  std::memcpy(&value, p, sizeof value);
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap64(value);
  return value;
}

}  // namespace

HashKey RandomHashKey(FileSystem& files) {
  HashKey key;
  key.k0 = files.RandomSeed();
  key.k1 = files.RandomSeed();
  return key;
}

uint64_t KeyedHash(const HashKey& key, std::string_view data) {
  uint64_t v0 = 0x736f6d6570736575u ^ key.k0;
  uint64_t v1 = 0x646f72616e646f6du ^ key.k1;
  uint64_t v2 = 0x6c7967656e657261u ^ key.k0;
  uint64_t v3 = 0x7465646279746573u ^ key.k1;
  auto round = [&] {
    v0 += v1;
    v1 = Rotate(v1, 13) ^ v0;
    v0 = Rotate(v0, 32);
    v2 += v3;
    v3 = Rotate(v3, 16) ^ v2;
    v0 += v3;
    v3 = Rotate(v3, 21) ^ v0;
    v2 += v1;
    v1 = Rotate(v1, 17) ^ v2;
    v2 = Rotate(v2, 32);
  };
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  const size_t whole = data.size() & ~size_t{7};
  for (size_t i = 0; i < whole; i += 8) {
    const uint64_t m = LittleEndian64(p + i);
    v3 ^= m;
    round();
    v0 ^= m;
  }
  // The last 0 to 7 bytes; an empty key may come without any bytes at all (a null data()).
  unsigned char tail[8] = {};
  if (data.size() > whole) std::memcpy(tail, p + whole, data.size() - whole);
  const uint64_t last = LittleEndian64(tail) | static_cast<uint64_t>(data.size()) << 56;
  v3 ^= last;
  round();
  v0 ^= last;
  v2 ^= 0xff;
  round();
  round();
  round();
  return v0 ^ v1 ^ v2 ^ v3;
}

uint32_t RecordIndex::Hash(std::string_view key) const {
  const uint64_t h = KeyedHash(key_, key);
  return static_cast<uint32_t>(h ^ (h >> 32));
}

void RecordIndex::Insert(std::string_view key, size_t position) {
  if (position >= UINT32_MAX) throw std::bad_alloc();
  if (4 * (used_ + 1) > 3 * slots_.size()) Grow();
  Place(static_cast<uint64_t>(Hash(key)) << 32 | (position + 1));
  if (++used_ == prepare_at_) PrepareLarge(2 * slots_.size() * sizeof(uint64_t));
}

void RecordIndex::Clear() {
  slots_.clear();
  slots_.shrink_to_fit();
  used_ = 0;
  prepare_at_ = SIZE_MAX;
}

void RecordIndex::Place(uint64_t slot) {
  size_t at = static_cast<uint32_t>(slot >> 32) & Mask();
  while (slots_[at] != 0) at = (at + 1) & Mask();
  slots_[at] = slot;
}

void RecordIndex::Grow() {
  std::vector<uint64_t, LargeAllocator<uint64_t>> old;
  old.swap(slots_);
  slots_.assign(old.empty() ? 64 : old.size() * 2, 0);
  prepare_at_ = slots_.size() * 9 / 16;
  // The stored hash is all that placing needs; the keys are not looked at again.
  for (uint64_t slot : old)
    if (slot != 0) Place(slot);
}

}  // namespace tollwick
