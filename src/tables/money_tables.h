// The currency table (one running total per price currency), the rate table (exchange rates,
// in file order, codes may repeat) and the tally table (the labelled count lines of one date
// window). Money is integer hundredths in 64 bits, so no total wraps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tables/sku_table.h"

namespace tollwick {

struct RCUR {
  std::string Code;
  int64_t Total = 0;  // hundredths of Code, for the current date window
};

struct RCONVERT {
  std::string Code;
  long double Rate = 0;  // units of Code per 1.00 of the reference currency
};

struct RAPPS {
  std::string Name;
  int64_t Count = 0;
  bool IsTotal = false;
};

class CurrencyTable {
 public:
  // Finds or appends the code; its total becomes 0 either way.
  void RegisterCurrency(std::string_view code);
  void ResetCurrencyTotals();
  // Adds to the total of the code; an unregistered code is ignored. A total that would leave
  // 64 bits raises EInvalidOp.
  void AddToCurrency(std::string_view code, int64_t amount);
  // Stable ascending order of Code, bytes compared as unsigned values.
  void SortCurrencies();
  void Clear();

  static constexpr size_t npos = static_cast<size_t>(-1);
  size_t Find(std::string_view code) const;

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  RCUR& operator[](size_t i) { return records_[i]; }
  const RCUR& operator[](size_t i) const { return records_[i]; }
  const std::vector<RCUR>& records() const { return records_; }

 private:
  std::vector<RCUR> records_;
  TextIndex index_;
};

class RateTable {
 public:
  // Appends an entry; an existing entry of the same code stays.
  void Append(std::string_view code, long double rate);
  void SetRate(size_t i, long double rate);
  void Clear();

  // The amount divided by the rate of every entry of the code, in table order, each quotient
  // rounded half to even; the last entry gives the result, 0 when no entry has the code. A zero
  // rate raises EZeroDivide (EInvalidOp for a zero amount) and a quotient outside 64 bits
  // EInvalidOp, at the first entry that fails. Walks only the entries of the code.
  int64_t ConvertToTotal(std::string_view code, int64_t amount) const;

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const RCONVERT& operator[](size_t i) const { return records_[i]; }
  const std::vector<RCONVERT>& records() const { return records_; }

 private:
  std::vector<RCONVERT> records_;
  // Entry positions per code, in table order.
  std::unordered_map<std::string, std::vector<size_t>, TextHash, std::equal_to<>> by_code_;
};

// Divides in extended precision and rounds half to even, with the errors of ConvertToTotal.
int64_t DivideAndRound(int64_t amount, long double rate);

class TallyTable {
 public:
  void ClearTally() { records_.clear(); }
  void AddTallyLine(std::string_view name, int64_t count, bool is_total);

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  RAPPS& operator[](size_t i) { return records_[i]; }
  const RAPPS& operator[](size_t i) const { return records_[i]; }
  const std::vector<RAPPS>& records() const { return records_; }

 private:
  std::vector<RAPPS> records_;
};

}  // namespace tollwick
