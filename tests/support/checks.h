// Small helpers for table-driven tests: the error a call raises, as one comparable text, and
// random texts joined from given parts (for the checks against the literal algorithms).
#pragma once

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/errors.h"

namespace tollwick::testing {

// "<Kind>: <message>" of the TollwickError that `f` raises; "" when it raises nothing.
template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const TollwickError& e) {
    return std::string(ErrorKindName(e.kind())) + ": " + e.message();
  }
  return "";
}
// The error StrToInt raises for `text`.
inline std::string NotInteger(const std::string& text) {
  return "EConvertError: '" + text + "' is not a valid integer value";
}

// Up to `max_parts` parts drawn from `parts`, joined.
inline std::string RandomJoin(std::mt19937& rng, const std::vector<std::string>& parts,
                              size_t max_parts) {
  std::string text;
  for (size_t n = rng() % (max_parts + 1); n > 0; --n) text += parts[rng() % parts.size()];
  return text;
}

// The ordering as written down: n - 1 full passes from the end, exchanging on strictly less.
template <typename T, typename Less>
void BubbleSort(std::vector<T>& items, Less less) {
  for (size_t pass = 1; pass < items.size(); ++pass)
    for (size_t j = items.size() - 1; j >= 1; --j)
      if (less(items[j], items[j - 1])) std::swap(items[j], items[j - 1]);
}

}  // namespace tollwick::testing
