#include "base/large_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace tollwick {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t RegionSize(size_t size) {
  return (size + kHugePage - 1) / kHugePage * kHugePage;
}

// Regions given back, kept for the next pieces of the same region size: memory a run has touched
// once costs nothing more to use again, while fresh memory costs a fault and the zeroing of
// its pages. What is kept is bounded, so the memory of the run does not grow with it.
class SpareRegions {
 public:
  static constexpr size_t kMaxBytes = size_t{32} << 20;

  // A kept region of `region` bytes, or null.
  void* Take(size_t region) {
    std::lock_guard lock(mutex_);
    for (size_t i = spare_.size(); i-- > 0;) {
      if (spare_[i].size != region) continue;
      void* memory = spare_[i].memory;
      bytes_ -= region;
      spare_.erase(spare_.begin() + static_cast<std::ptrdiff_t>(i));
      return memory;
    }
    return nullptr;
  }
  // Keeps the region, or says it does not fit.
  bool Keep(void* memory, size_t region) {
    std::lock_guard lock(mutex_);
    if (bytes_ + region > kMaxBytes) return false;
    spare_.push_back({memory, region});
    bytes_ += region;
    return true;
  }

 private:
  struct Region {
    void* memory;
    size_t size;
  };
  std::mutex mutex_;
  std::vector<Region> spare_;
  size_t bytes_ = 0;
};

SpareRegions& Spare() {
  static SpareRegions* spare = new SpareRegions;  // never destroyed: pieces outlive statics
  return *spare;
}
}  // namespace

void* AllocateLarge(size_t size) {
  if (size < kLargeSize) return ::operator new(size == 0 ? 1 : size);
  if (size > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
  const size_t region = RegionSize(size);
  if (void* kept = Spare().Take(region)) return kept;
  // Mapped with room to spare, then cut to a 2 MB boundary at both ends.
  void* mapped = ::mmap(nullptr, region + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  char* const base = static_cast<char*>(mapped);
  const auto start = reinterpret_cast<uintptr_t>(mapped);
  const size_t lead = (kHugePage - start % kHugePage) % kHugePage;
  char* const aligned = base + lead;
  if (lead > 0) ::munmap(base, lead);
  if (kHugePage > lead) ::munmap(aligned + region, kHugePage - lead);
  // Only advice: where huge pages are off, the region works with small ones.
  ::madvise(aligned, region, MADV_HUGEPAGE);
  return aligned;
}

void FreeLarge(void* memory, size_t size) noexcept {
  if (memory == nullptr) return;
  if (size < kLargeSize) {
    ::operator delete(memory);
    return;
  }
  if (!Spare().Keep(memory, RegionSize(size))) ::munmap(memory, RegionSize(size));
}

}  // namespace tollwick
