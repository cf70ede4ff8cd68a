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

namespace {

// The quotient rounded half to even, or false with the kind of error it raises.
bool DivideRounded(int64_t amount, long double rate, int64_t& result, ErrorKind& failure) {
  if (rate == 0) {
    failure = amount == 0 ? ErrorKind::EInvalidOp : ErrorKind::EZeroDivide;
    return false;
  }
  long double rounded = std::nearbyint(static_cast<long double>(amount) / rate);
  constexpr long double kLimit = 9223372036854775808.0L;  // 2^63
  if (!(rounded >= -kLimit && rounded < kLimit)) {
    failure = ErrorKind::EInvalidOp;
    return false;
  }
  result = static_cast<int64_t>(rounded);
  return true;
}

[[noreturn]] void RaiseConversionError(ErrorKind failure, std::string_view code) {
  if (failure == ErrorKind::EConvertError)
    Raise(failure, std::string(kNoRateMessage) + "\"" + std::string(code) + "\"");
  Raise(failure,
        std::string(failure == ErrorKind::EZeroDivide ? kZeroDivideMessage : kInvalidOpMessage));
}

}  // namespace

int64_t DivideAndRound(int64_t amount, long double rate) {
  int64_t result = 0;
  ErrorKind failure{};
  if (!DivideRounded(amount, rate, result, failure)) RaiseConversionError(failure, "");
  return result;
}

bool RateTable::Convert(std::string_view code, int64_t amount, int64_t& result,
                        ErrorKind& failure) const {
  result = 0;
  auto it = by_code_.find(code);
  if (it == by_code_.end()) {
    // Money that cannot be converted must not vanish from the total without a word.
    failure = ErrorKind::EConvertError;
    return amount == 0;
  }
  for (size_t i : it->second)
    if (!DivideRounded(amount, records_[i].Rate, result, failure)) return false;
  return true;
}

int64_t RateTable::ConvertToTotal(std::string_view code, int64_t amount) const {
  int64_t result = 0;
  ErrorKind failure{};
  if (!Convert(code, amount, result, failure)) RaiseConversionError(failure, code);
  return result;
}

std::optional<int64_t> RateTable::TryConvertToTotal(std::string_view code, int64_t amount) const {
  int64_t result = 0;
  ErrorKind failure{};
  if (!Convert(code, amount, result, failure)) return std::nullopt;
  return result;
}

}  // namespace tollwick
