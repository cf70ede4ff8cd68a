// The currency table: the price currencies, by code.
//
// Codes are unique (RegisterCurrency is find-or-append) and kept in order of first
// registration until SortCurrencies; a currency's position is where a tally keeps its sum.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/text.h"

namespace tollwick {

struct CurrencyRecord {
  std::string Code;
};

class CurrencyTable {
 public:
  // Finds or appends the code.
  void RegisterCurrency(std::string_view code);
  // Stable ascending order of Code, bytes compared as unsigned values.
  void SortCurrencies();
  void Clear();

  static constexpr size_t npos = static_cast<size_t>(-1);
  size_t Find(std::string_view code) const;

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const CurrencyRecord& operator[](size_t i) const { return records_[i]; }
  std::vector<CurrencyRecord>::const_iterator begin() const { return records_.begin(); }
  std::vector<CurrencyRecord>::const_iterator end() const { return records_.end(); }

 private:
  std::vector<CurrencyRecord> records_;
  std::unordered_map<std::string, size_t, TextHash, std::equal_to<>> index_;
};

}  // namespace tollwick
