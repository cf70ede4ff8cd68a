// The rate table: exchange rates in file order, one entry per accepted rate line, so a code
// may stand in it more than once. ConvertToTotal expresses an amount of any currency in the
// total currency, once the rates are stated per 1.00 of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/errors.h"
#include "base/text.h"

namespace tollwick {

struct ExchangeRate {
  std::string Code;
  long double Rate = 0;  // units of Code per 1.00 of the reference currency
};

class RateTable {
 public:
  // Appends an entry; an existing entry of the same code stays.
  void Append(std::string_view code, long double rate);
  void SetRate(size_t i, long double rate);
  void Clear();

  // The amount divided by the rate of every entry of the code, in table order, each quotient
  // rounded half to even; the last entry gives the result. A zero rate raises EZeroDivide
  // (EInvalidOp for a zero amount) and a quotient outside 64 bits EInvalidOp, at the first
  // entry that fails. Without an entry for the code, 0 converts to 0 and any other amount
  // raises EConvertError "No exchange rate for currency "<code>"". Walks only the entries of
  // the code.
  int64_t ConvertToTotal(std::string_view code, int64_t amount) const;
  // The same conversion, empty where ConvertToTotal raises.
  std::optional<int64_t> TryConvertToTotal(std::string_view code, int64_t amount) const;

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const ExchangeRate& operator[](size_t i) const { return records_[i]; }
  std::vector<ExchangeRate>::const_iterator begin() const { return records_.begin(); }
  std::vector<ExchangeRate>::const_iterator end() const { return records_.end(); }

 private:
  // Sets `result`, or `failure` to the kind of error ConvertToTotal raises, and returns false.
  bool Convert(std::string_view code, int64_t amount, int64_t& result, ErrorKind& failure) const;

  std::vector<ExchangeRate> records_;
  // Entry positions per code, in table order.
  std::unordered_map<std::string, std::vector<size_t>, TextHash, std::equal_to<>> by_code_;
};

// Divides in extended precision and rounds half to even, with the errors of ConvertToTotal.
int64_t DivideAndRound(int64_t amount, long double rate);

}  // namespace tollwick
