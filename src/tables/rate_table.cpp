#include "tables/rate_table.h"

#include <cmath>

#include "base/errors.h"

namespace tollwick {

void RateTable::Append(std::string_view code, long double rate) {
  by_code_[std::string(code)].push_back(records_.size());
  records_.push_back(ExchangeRate{std::string(code), rate});
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
  if (it == by_code_.end()) {
    // Money that cannot be converted must not vanish from the total without a word.
    if (amount == 0) return 0;
    Raise(ErrorKind::EConvertError, "No exchange rate for currency \"" + std::string(code) + "\"");
  }
  int64_t result = 0;
  for (size_t i : it->second) result = DivideAndRound(amount, records_[i].Rate);
  return result;
}

}  // namespace tollwick
