#include "intake/marker_finder.h"

#include <cstring>

namespace tollwick {

MarkerFinder::MarkerFinder(std::string_view marker) : marker_(marker) {
  for (size_t i = 0; i < marker.size(); ++i) {
    if (marker[i] >= 'A' && marker[i] <= 'Z') {
      anchor_ = i;
      break;
    }
  }
}

size_t MarkerFinder::Find(std::string_view text, size_t from) const {
  constexpr size_t npos = std::string_view::npos;
  if (from > text.size() || text.size() - from < marker_.size()) return npos;
  const char* const base = text.data();
  const char* const first_byte = marker_.data();
  const char anchor = marker_[anchor_];
  // Anchors of every possible start, from `from` up to the last start that leaves room.
  const char* p = base + from + anchor_;
  const char* const last = base + (text.size() - marker_.size()) + anchor_;
  while (p <= last) {
    p = static_cast<const char*>(std::memchr(p, anchor, static_cast<size_t>(last - p) + 1));
    if (p == nullptr) return npos;
    const char* start = p - anchor_;
    if (*start == *first_byte && std::memcmp(start, first_byte, marker_.size()) == 0)
      return static_cast<size_t>(start - base);
    ++p;
  }
  return npos;
}

}  // namespace tollwick
