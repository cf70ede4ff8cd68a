// Search for a fixed marker in report text, with the result of std::string_view::find.
//
// Report text holds a '<' every few bytes, so a search that looks for the marker's first byte
// stops, and compares, all the time. A MarkerFinder looks instead for the marker's anchor,
// its first capital letter: tag names ("Row", "Data", "Worksheet") begin with one, and capitals
// are rare in the text between tags. At each anchor found the bytes around it are compared with
// the marker. A marker without a capital is anchored on its first byte.
#pragma once

#include <cstddef>
#include <string_view>

namespace tollwick {

class MarkerFinder {
 public:
  // `marker` must not be empty and must outlive the finder.
  explicit MarkerFinder(std::string_view marker);

  // The first position at or after `from` where the marker stands in `text`, or npos.
  size_t Find(std::string_view text, size_t from = 0) const;

  std::string_view marker() const { return marker_; }

 private:
  std::string_view marker_;
  size_t anchor_ = 0;  // index in marker_ of the byte looked for
};

}  // namespace tollwick
