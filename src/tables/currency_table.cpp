#include "tables/currency_table.h"

#include <algorithm>

#include "base/errors.h"

namespace tollwick {

void CurrencyTable::RegisterCurrency(std::string_view code) {
  auto [it, inserted] = index_.try_emplace(std::string(code), records_.size());
  if (inserted) records_.push_back(CurrencyTotal{std::string(code), 0});
  records_[it->second].Total = 0;
}

void CurrencyTable::ResetCurrencyTotals() {
  for (CurrencyTotal& cur : records_) cur.Total = 0;
}

void CurrencyTable::AddToCurrency(std::string_view code, int64_t amount) {
  size_t i = Find(code);
  if (i != npos) AddAt(i, amount);
}

void CurrencyTable::AddAt(size_t i, int64_t amount) {
  if (__builtin_add_overflow(records_[i].Total, amount, &records_[i].Total))
    Raise(ErrorKind::EInvalidOp, std::string(kInvalidOpMessage));
}

void CurrencyTable::SortCurrencies() {
  std::stable_sort(records_.begin(), records_.end(),
                   [](const CurrencyTotal& a, const CurrencyTotal& b) { return a.Code < b.Code; });
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
