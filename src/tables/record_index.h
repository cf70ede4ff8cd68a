// Hash index from a text key to the position of the record that holds it, for the large
// find-or-append tables (a million purchases and more).
//
// The keys are not copied into the index: each slot holds a record position and 32 bits of
// the key's hash, 8 bytes in all, and the table hands in a `key_of(position)` function for the
// comparisons. Open addressing with linear probing, at most three quarters of the slots in use
// (so between 11 and 22 bytes per record, a large part of a purchase's cost). Compared
// with a node-based map this saves two allocations and about 90 bytes per record, which on a
// large run is most of the index's cost: first-touched memory is slow.
//
// The keys come from report files, so the hash is keyed (SipHash-1-3) with a secret drawn from
// the system's random source when the index is made: nobody can prepare ids that all land in
// one run of slots, which would make every insert walk that run. Positions never depend on the
// hash, so the order of the records, and everything printed, is the same under any key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <vector>

#include "base/file_system.h"
#include "base/large_memory.h"

namespace tollwick {

struct HashKey {
  uint64_t k0 = 0;
  uint64_t k1 = 0;
};

// 128 random bits from the file system's random source.
HashKey RandomHashKey(FileSystem& files = SystemFileSystem());

// SipHash-1-3 of `data` under `key`.
uint64_t KeyedHash(const HashKey& key, std::string_view data);

class RecordIndex {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  RecordIndex() : key_(RandomHashKey()) {}
  explicit RecordIndex(const HashKey& key) : key_(key) {}

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

  // Position of the record whose key equals `key`; when there is none, records `new_position`
  // for it and gives npos. One hash and one probe sequence for both.
  template <typename KeyOf>
  size_t FindOrInsert(std::string_view key, size_t new_position, const KeyOf& key_of) {
    return FindOrInsert(key, Hash(key), new_position, key_of);
  }
  // The same, with `hash` = Hash(key) computed beforehand.
  template <typename KeyOf>
  size_t FindOrInsert(std::string_view key, uint32_t hash, size_t new_position,
                      const KeyOf& key_of) {
    if (new_position >= UINT32_MAX) throw std::bad_alloc();
    if (4 * (used_ + 1) > 3 * slots_.size()) Grow();
    for (size_t at = hash & Mask();; at = (at + 1) & Mask()) {
      const uint64_t slot = slots_[at];
      if (slot == 0) {
        slots_[at] = static_cast<uint64_t>(hash) << 32 | (new_position + 1);
        if (++used_ == prepare_at_) PrepareLarge(2 * slots_.size() * sizeof(uint64_t));
        return npos;
      }
      const size_t position = static_cast<uint32_t>(slot) - size_t{1};
      if (static_cast<uint32_t>(slot >> 32) == hash && key_of(position) == key) return position;
    }
  }

  // Records `position` for `key`, which must not be in the index yet. Positions must stay
  // below 2^32 - 1; a larger one raises std::bad_alloc (no table of that size fits in memory).
  void Insert(std::string_view key, size_t position);

  // Empties the index; the hash key stays.
  void Clear();

  // The key's 32-bit hash under this index's hash key; its low bits pick the key's home slot.
  uint32_t Hash(std::string_view key) const;
  // Starts fetching the home slot of a key with this hash, for a lookup soon after.
  void Prefetch(uint32_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[hash & Mask()]);
  }

 private:
  size_t Mask() const { return slots_.size() - 1; }
  void Place(uint64_t slot);
  void Grow();

  HashKey key_;
  std::vector<uint64_t, LargeAllocator<uint64_t>>
      slots_;  // 0: empty; else hash << 32 | (position + 1)
  size_t used_ = 0;
  // When this many are used, the slots of the next size are asked for ahead of time (see
  // large_memory.h), a while before the growth needs them.
  size_t prepare_at_ = SIZE_MAX;
};

}  // namespace tollwick
