// Hash index from a text key to the position of the record that holds it, for the large
// find-or-append tables (a million purchases and more).
//
// The keys are not copied into the index: each slot holds a record position and 32 bits of
// the key's hash, 8 bytes in all, and the table hands in a `key_of(position)` function for the
// comparisons. Open addressing with linear probing, at most half of the slots in use. Compared
// with a node-based map this saves two allocations and about 90 bytes per record, which on a
// large run is most of the index's cost: first-touched memory is slow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tollwick {

class RecordIndex {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  // Position of the record whose key equals `key` byte for byte, or npos.
  template <typename KeyOf>
  size_t Find(std::string_view key, const KeyOf& key_of) const {
    if (slots_.empty()) return npos;
    const uint32_t hash = Hash(key);
    for (size_t at = hash & Mask();; at = (at + 1) & Mask()) {
      const uint64_t slot = slots_[at];
      if (slot == 0) return npos;
      const size_t position = static_cast<uint32_t>(slot) - size_t{1};
      if (static_cast<uint32_t>(slot >> 32) == hash && key_of(position) == key) return position;
    }
  }

  // Records `position` for `key`, which must not be in the index yet. Positions must stay
  // below 2^32 - 1; a larger one raises std::bad_alloc (no table of that size fits in memory).
  void Insert(std::string_view key, size_t position);

  void Clear();

 private:
  static uint32_t Hash(std::string_view key);
  size_t Mask() const { return slots_.size() - 1; }
  void Place(uint64_t slot);
  void Grow();

  std::vector<uint64_t> slots_;  // 0: empty; else hash << 32 | (position + 1)
  size_t used_ = 0;
};

}  // namespace tollwick
