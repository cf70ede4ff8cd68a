#include "tables/money_tables.h"

#include <algorithm>
#include <cmath>

#include "tables/errors.h"

namespace tollwick {

void CurrencyTable::RegisterCurrency(std::string_view code) {
  auto [it, inserted] = index_.try_emplace(std::string(code), records_.size());
  if (inserted) records_.push_back(RCUR{std::string(code), 0});
  records_[it->second].Total = 0;
}

void CurrencyTable::ResetCurrencyTotals() {
  for (RCUR& cur : records_) cur.Total = 0;
}

void CurrencyTable::AddToCurrency(std::string_view code, int64_t amount) {
  size_t i = Find(code);
  if (i == npos) return;
  if (__builtin_add_overflow(records_[i].Total, amount, &records_[i].Total))
    Raise(ErrorKind::EInvalidOp, std::string(kInvalidOpMessage));
}

void CurrencyTable::SortCurrencies() {
  std::stable_sort(records_.begin(), records_.end(),
                   [](const RCUR& a, const RCUR& b) { return a.Code < b.Code; });
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

void RateTable::Append(std::string_view code, long double rate) {
  by_code_[std::string(code)].push_back(records_.size());
  records_.push_back(RCONVERT{std::string(code), rate});
}

void RateTable::SetRate(size_t i, long double rate) {
  records_[i].Rate = rate;
}

void RateTable::Clear() {
  records_.clear();
  by_code_.clear();
}

int64_t DivideAndRound(int64_t amount, long double rate) {
  if (rate == 0)
    Raise(amount == 0 ? ErrorKind::EInvalidOp : ErrorKind::EZeroDivide,
          std::string(amount == 0 ? kInvalidOpMessage : kZeroDivideMessage));
  long double rounded = std::nearbyint(static_cast<long double>(amount) / rate);
  constexpr long double kLimit = 9223372036854775808.0L;  // 2^63
  if (!(rounded >= -kLimit && rounded < kLimit))
    Raise(ErrorKind::EInvalidOp, std::string(kInvalidOpMessage));
  return static_cast<int64_t>(rounded);
}

int64_t RateTable::ConvertToTotal(std::string_view code, int64_t amount) const {
  auto it = by_code_.find(code);
  if (it == by_code_.end()) return 0;
  int64_t result = 0;
  for (size_t i : it->second) result = DivideAndRound(amount, records_[i].Rate);
  return result;
}

void TallyTable::AddTallyLine(std::string_view name, int64_t count, bool is_total) {
  records_.push_back(RAPPS{std::string(name), count, is_total});
}

}  // namespace tollwick
