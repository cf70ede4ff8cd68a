#include "tables/currency_table.h"

#include <algorithm>

namespace tollwick {

void CurrencyTable::RegisterCurrency(std::string_view code) {
  auto [it, inserted] = index_.try_emplace(std::string(code), records_.size());
  if (inserted) records_.push_back(CurrencyRecord{std::string(code)});
}

void CurrencyTable::SortCurrencies() {
  std::stable_sort(
      records_.begin(), records_.end(),
      [](const CurrencyRecord& a, const CurrencyRecord& b) { return a.Code < b.Code; });
  for (size_t i = 0; i < records_.size(); ++i) index_[records_[i].Code] = i;
}

void CurrencyTable::Clear() {
  records_.clear();
  index_.clear();
}

size_t CurrencyTable::Find(std::string_view code) const {
  auto it = index_.find(code);
  return it == index_.end() ? npos : it->second;
}

}  // namespace tollwick
