// An append-only array kept in fixed blocks of records, for tables of a million records.
//
// Appending never moves or copies a record: a full block is followed by a new one. Compared
// with a vector, growth touches no memory twice; compared with std::deque (whose blocks hold
// 512 bytes, two sale records), it allocates once per block of records, not once per two. A
// block is about 2 MB of large memory (large_memory.h), and a record is made only when it is
// appended, so the pages of a block are first touched as the records fill them. Positions are
// stable, elements are reached by index in constant time, and iteration runs in index order.
// Only the whole array can be emptied. The records must be trivially destructible.
#pragma once

#include <cstddef>
#include <iterator>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/large_memory.h"

namespace tollwick {

template <typename T, size_t kBlock = (size_t{2} << 20) / sizeof(T)>
class BlockArray {
  static_assert(kBlock > 0, "a block holds records");
  static_assert(std::is_trivially_destructible_v<T>, "records are dropped without destruction");

 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = const T*;
    using reference = const T&;

    const_iterator() = default;
    const_iterator(const BlockArray* array, size_t index) : array_(array), index_(index) {}
    reference operator*() const { return (*array_)[index_]; }
    pointer operator->() const { return &(*array_)[index_]; }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++index_;
      return before;
    }
    bool operator==(const const_iterator& other) const { return index_ == other.index_; }

   private:
    const BlockArray* array_ = nullptr;
    size_t index_ = 0;
  };

  BlockArray() = default;
  BlockArray(const BlockArray& other) { *this = other; }
  BlockArray(BlockArray&& other) noexcept
      : blocks_(std::move(other.blocks_)), size_(std::exchange(other.size_, 0)) {}
  BlockArray& operator=(const BlockArray& other) {
    if (this != &other) {
      clear();
      for (const T& record : other) emplace_back() = record;
    }
    return *this;
  }
  BlockArray& operator=(BlockArray&& other) noexcept {
    blocks_ = std::move(other.blocks_);
    size_ = std::exchange(other.size_, 0);
    return *this;
  }
  ~BlockArray() = default;

  // Appends a value-initialised record and returns it.
  T& emplace_back() {
    if (size_ == blocks_.size() * kBlock) {
      blocks_.emplace_back(kBlock * sizeof(T));
      // A growing array soon needs another block: its pages are touched ahead of time.
      if (blocks_.size() >= 2) PrepareLarge(kBlock * sizeof(T));
    }
    T* added = new (&(*this)[size_]) T();
    ++size_;
    return *added;
  }

  T& operator[](size_t i) { return Block(i / kBlock)[i % kBlock]; }
  const T& operator[](size_t i) const { return Block(i / kBlock)[i % kBlock]; }
  T& back() { return (*this)[size_ - 1]; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // Releases every block.
  void clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    size_ = 0;
  }

  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

 private:
  T* Block(size_t b) const { return reinterpret_cast<T*>(blocks_[b].get()); }

  std::vector<LargeBuffer> blocks_;
  size_t size_ = 0;
};

}  // namespace tollwick
