#include "base/large_memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace tollwick {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t RegionSize(size_t size) {
  return (size + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

void* AllocateLarge(size_t size) {
  if (size < kLargeSize) return ::operator new(size == 0 ? 1 : size);
  if (size > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
  // Mapped with room to spare, then cut to a 2 MB boundary at both ends.
  const size_t region = RegionSize(size);
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
  ::munmap(memory, RegionSize(size));
}

}  // namespace tollwick
