// Memory for the large arrays and buffers of a run: the tables of a million purchases, the
// tally, the bytes of the report files on their way.
//
// First touches of memory are what such a run pays most for: every 4 KB page costs a fault. A
// piece of kLargeSize bytes or more is therefore taken straight from the system, in a region
// aligned to 2 MB and advised for transparent huge pages, so that where the system grants them
// the first touch of each 2 MB costs one fault instead of 512. Smaller pieces come from
// operator new. The memory is not zeroed beyond what the system does for fresh pages.
#pragma once

#include <cstddef>
#include <new>

namespace tollwick {

inline constexpr size_t kLargeSize = size_t{1} << 20;

// `size` bytes, aligned for any type; raises std::bad_alloc when there are none.
void* AllocateLarge(size_t size);
// Asks for a piece of `size` bytes (kLargeSize or more) to be made ready ahead of time: its
// pages are first touched on a thread of its own, so that a later AllocateLarge of that size
// finds them touched. A thread about to fill large tables asks for its next pieces this way.
void PrepareLarge(size_t size);
// Gives back what AllocateLarge(size) gave.
void FreeLarge(void* memory, size_t size) noexcept;
// Makes what AllocateLarge(size) gave `new_size` bytes long, keeping its first `size` bytes, and
// returns where it is now. A large piece is grown by remapping its pages, in place where the
// address space after it is free, else moved to a fresh region: nothing is copied, and the
// memory holds no more pages than are touched. Raises std::bad_alloc (the piece unchanged) when
// there is no room.
void* GrowLarge(void* memory, size_t size, size_t new_size);

// An allocator for standard containers that takes large pieces from AllocateLarge.
template <typename T>
struct LargeAllocator {
  using value_type = T;
  LargeAllocator() = default;
  template <typename U>
  explicit LargeAllocator(const LargeAllocator<U>& /*other*/) {}
  T* allocate(size_t n) { return static_cast<T*>(AllocateLarge(n * sizeof(T))); }
  void deallocate(T* memory, size_t n) noexcept { FreeLarge(memory, n * sizeof(T)); }
  friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

// One piece of AllocateLarge memory, given back on destruction.
class LargeBuffer {
 public:
  LargeBuffer() = default;
  explicit LargeBuffer(size_t size) : data_(static_cast<char*>(AllocateLarge(size))), size_(size) {}
  ~LargeBuffer() { Reset(); }
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;
  LargeBuffer(LargeBuffer&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  LargeBuffer& operator=(LargeBuffer&& other) noexcept {
    if (this != &other) {
      Reset();
      data_ = other.data_;
      size_ = other.size_;
      other.data_ = nullptr;
      other.size_ = 0;
    }
    return *this;
  }
  char* get() const { return data_; }
  size_t size() const { return size_; }
  // Makes the buffer `new_size` bytes long (no shorter than now), its bytes kept (GrowLarge).
  void Grow(size_t new_size) {
    if (new_size <= size_) return;
    data_ = static_cast<char*>(GrowLarge(data_, size_, new_size));
    size_ = new_size;
  }
  void Reset() noexcept {
    if (data_ != nullptr) FreeLarge(data_, size_);
    data_ = nullptr;
    size_ = 0;
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace tollwick
