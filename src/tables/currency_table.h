// The currency table: one running total per price currency, for the current date window.
//
// Codes are unique (RegisterCurrency is find-or-append) and kept in order of first
// registration until SortCurrencies. Money is integer hundredths in 64 bits, so no total wraps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/text.h"

namespace tollwick {

struct CurrencyTotal {
  std::string Code;
  int64_t Total = 0;  // hundredths of Code, for the current date window
};

class CurrencyTable {
 public:
  // Finds or appends the code; its total becomes 0 either way.
  void RegisterCurrency(std::string_view code);
  void ResetCurrencyTotals();
  // Adds to the total of the code; an unregistered code is ignored. A total that would leave
  // 64 bits raises EInvalidOp.
  void AddToCurrency(std::string_view code, int64_t amount);
  // Adds to the total of the currency at position `i`, with the same overflow check.
  void AddAt(size_t i, int64_t amount);
  // Stable ascending order of Code, bytes compared as unsigned values.
  void SortCurrencies();
  void Clear();

  static constexpr size_t npos = static_cast<size_t>(-1);
  size_t Find(std::string_view code) const;

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const CurrencyTotal& operator[](size_t i) const { return records_[i]; }
  std::vector<CurrencyTotal>::const_iterator begin() const { return records_.begin(); }
  std::vector<CurrencyTotal>::const_iterator end() const { return records_.end(); }

 private:
  std::vector<CurrencyTotal> records_;
  std::unordered_map<std::string, size_t, TextHash, std::equal_to<>> index_;
};

}  // namespace tollwick
