#include "base/large_memory.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tollwick {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t RegionSize(size_t size) {
  return (size + kHugePage - 1) / kHugePage * kHugePage;
}

// The regions handed out, with their sizes, and those given back, kept for the next pieces:
// memory a run has touched once costs nothing more to use again, while fresh memory costs a
// fault and the zeroing of its pages. A piece may get a kept region up to twice its size. What
// is kept is bounded, so the memory of the run does not grow with it: the regions kept longest
// go first.
struct Region {
  void* memory;
  size_t size;
};

class Regions {
 public:
  static constexpr size_t kMaxKept = size_t{32} << 20;

  // Each kept region has 2 MB at least, so the list never grows past this while giving back.
  Regions() { kept_.reserve(kMaxKept / kHugePage + 2); }

  // A kept region of `region` to 2 * `region` bytes, or null.
  void* Take(size_t region) {
    std::lock_guard lock(mutex_);
    size_t best = kept_.size();
    for (size_t i = 0; i < kept_.size(); ++i)
      if (kept_[i].size >= region && kept_[i].size <= 2 * region &&
          (best == kept_.size() || kept_[i].size < kept_[best].size))
        best = i;
    if (best == kept_.size()) return nullptr;
    const Region taken = kept_[best];
    kept_.erase(kept_.begin() + static_cast<std::ptrdiff_t>(best));
    kept_bytes_ -= taken.size;
    sizes_[taken.memory] = taken.size;
    return taken.memory;
  }
  void HandedOut(void* memory, size_t region) {
    std::lock_guard lock(mutex_);
    sizes_[memory] = region;
  }
  // The size of a region handed out.
  size_t SizeOf(void* memory) {
    std::lock_guard lock(mutex_);
    return sizes_.at(memory);
  }
  // A region handed out that now lies at `to` with `region` bytes.
  void Moved(void* from, void* to, size_t region) {
    std::lock_guard lock(mutex_);
    sizes_.erase(from);
    sizes_[to] = region;
  }
  // Takes back a region handed out and keeps it; the regions kept longest that no longer fit
  // are given back to the system.
  void GiveBack(void* memory) noexcept {
    std::lock_guard lock(mutex_);
    const auto it = sizes_.find(memory);
    const size_t region = it->second;
    sizes_.erase(it);
    if (region > kMaxKept) {
      // Too large to keep: what is kept for smaller pieces stays.
      ::munmap(memory, region);
      return;
    }
    kept_.push_back({memory, region});
    kept_bytes_ += region;
    size_t oldest = 0;
    while (kept_bytes_ > kMaxKept) {
      ::munmap(kept_[oldest].memory, kept_[oldest].size);
      kept_bytes_ -= kept_[oldest++].size;
    }
    kept_.erase(kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(oldest));
  }

 private:
  std::mutex mutex_;
  std::unordered_map<void*, size_t> sizes_;
  std::vector<Region> kept_;
  size_t kept_bytes_ = 0;
};

Regions& AllRegions() {
  static Regions* regions = new Regions;  // never destroyed: pieces outlive statics
  return *regions;
}

// A fresh region of `region` bytes (a multiple of 2 MB), aligned to 2 MB, advised for huge
// pages; null when the system has none.
char* MapRegion(size_t region) {
  // Mapped with room to spare, then cut to a 2 MB boundary at both ends.
  void* mapped = ::mmap(nullptr, region + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
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

// Regions made ready ahead of time: mapped and their pages first touched on a thread of their
// own, at a low priority, so that the thread that asked for them goes on meanwhile and later
// finds them touched. At most kMaxPrepared bytes are asked for and not yet taken.
class Preparer {
 public:
  static constexpr size_t kMaxPrepared = size_t{64} << 20;

  void Ask(size_t region) {
    {
      std::lock_guard lock(mutex_);
      if (asked_bytes_ + region > kMaxPrepared || failed_) return;
      if (!started_) {
        try {
          std::thread([this] { Run(); }).detach();
        } catch (const std::system_error&) {
          failed_ = true;  // no thread to be had: regions are mapped when they are needed
          return;
        }
        started_ = true;
      }
      asked_.push_back(region);
      asked_bytes_ += region;
    }
    wake_.notify_one();
  }

  // A ready region of `region` bytes, or null.
  char* Take(size_t region) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < ready_.size(); ++i) {
      if (ready_[i].size != region) continue;
      char* memory = static_cast<char*>(ready_[i].memory);
      ready_.erase(ready_.begin() + static_cast<std::ptrdiff_t>(i));
      asked_bytes_ -= region;
      return memory;
    }
    return nullptr;
  }

 private:
  void Run() {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
    for (;;) {
      size_t region = 0;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return !asked_.empty(); });
        region = asked_.front();
        asked_.pop_front();
      }
      char* memory = MapRegion(region);
      if (memory != nullptr)
        for (size_t at = 0; at < region; at += 4096) memory[at] = 0;
      std::lock_guard lock(mutex_);
      if (memory != nullptr)
        ready_.push_back({memory, region});
      else
        asked_bytes_ -= region;
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<size_t> asked_;
  std::vector<Region> ready_;
  size_t asked_bytes_ = 0;  // asked for and not yet taken
  bool started_ = false;
  bool failed_ = false;
};

Preparer& ThePreparer() {
  static Preparer* preparer = new Preparer;  // never destroyed: its thread runs to the end
  return *preparer;
}

}  // namespace

void PrepareLarge(size_t size) {
  if (size < kLargeSize || size > SIZE_MAX - 2 * kHugePage) return;
  ThePreparer().Ask(RegionSize(size));
}

void* AllocateLarge(size_t size) {
  if (size < kLargeSize) return ::operator new(size == 0 ? 1 : size);
  if (size > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
  const size_t region = RegionSize(size);
  if (void* kept = AllRegions().Take(region)) return kept;
  char* memory = ThePreparer().Take(region);
  if (memory == nullptr) memory = MapRegion(region);
  if (memory == nullptr) throw std::bad_alloc();
  AllRegions().HandedOut(memory, region);
  return memory;
}

void* GrowLarge(void* memory, size_t size, size_t new_size) {
  if (memory == nullptr || size < kLargeSize) {
    // A small piece (or none) moves into a large one; it is small, so copying it costs little.
    void* grown = AllocateLarge(new_size);
    if (memory != nullptr) {
      std::memcpy(grown, memory, std::min(size, new_size));
      FreeLarge(memory, size);
    }
    return grown;
  }
  if (new_size > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
  Regions& regions = AllRegions();
  const size_t region = regions.SizeOf(memory);
  const size_t grown = RegionSize(new_size);
  if (grown <= region) return memory;
  // In place, when the addresses after the region are free.
  if (::mremap(memory, region, grown, 0) != MAP_FAILED) {
    regions.Moved(memory, memory, grown);
    return memory;
  }
  // Else the region's pages move to the start of a fresh region, which keeps the alignment.
  char* target = MapRegion(grown);
  if (target == nullptr) throw std::bad_alloc();
  if (::mremap(memory, region, region, MREMAP_MAYMOVE | MREMAP_FIXED, target) == MAP_FAILED) {
    ::munmap(target, grown);
    throw std::bad_alloc();
  }
  regions.Moved(memory, target, grown);
  return target;
}

void FreeLarge(void* memory, size_t size) noexcept {
  if (memory == nullptr) return;
  if (size < kLargeSize) {
    ::operator delete(memory);
    return;
  }
  AllRegions().GiveBack(memory);
}

}  // namespace tollwick
