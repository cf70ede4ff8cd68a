#include "tables/record_index.h"

#include <functional>
#include <new>

namespace tollwick {

uint32_t RecordIndex::Hash(std::string_view key) {
  const uint64_t h = std::hash<std::string_view>{}(key);
  return static_cast<uint32_t>(h ^ (h >> 32));
}

void RecordIndex::Insert(std::string_view key, size_t position) {
  if (position >= UINT32_MAX) throw std::bad_alloc();
  if (2 * (used_ + 1) > slots_.size()) Grow();
  Place(static_cast<uint64_t>(Hash(key)) << 32 | (position + 1));
  ++used_;
}

void RecordIndex::Clear() {
  slots_.clear();
  slots_.shrink_to_fit();
  used_ = 0;
}

void RecordIndex::Place(uint64_t slot) {
  size_t at = static_cast<uint32_t>(slot >> 32) & Mask();
  while (slots_[at] != 0) at = (at + 1) & Mask();
  slots_[at] = slot;
}

void RecordIndex::Grow() {
  std::vector<uint64_t> old;
  old.swap(slots_);
  slots_.assign(old.empty() ? 64 : old.size() * 2, 0);
  // The stored hash is all that placing needs; the keys are not looked at again.
  for (uint64_t slot : old)
    if (slot != 0) Place(slot);
}

}  // namespace tollwick
