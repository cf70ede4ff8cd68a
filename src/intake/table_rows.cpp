#include "intake/table_rows.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/day_number.h"
#include "base/text.h"

namespace tollwick {

namespace {

// The text before the first `sep`, or empty when there is none.
std::string_view Before(std::string_view text, std::string_view sep) {
  size_t at = text.find(sep);
  return at == std::string_view::npos ? std::string_view() : text.substr(0, at);
}

// The text after the first `sep`, or the whole text when there is none.
std::string_view After(std::string_view text, std::string_view sep) {
  size_t at = text.find(sep);
  return at == std::string_view::npos ? text : text.substr(at + sep.size());
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The value of `count` decimal digits at `at`.
int32_t Digits(std::string_view text, size_t at, size_t count) {
  int32_t value = 0;
  for (size_t i = at; i < at + count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// Whether the text starts "dddd-dd-ddT" and holds no "/": the pieces the rule cuts are then
// those digits, which StrToInt reads as plain decimals.
bool IsPlainIsoDate(std::string_view text) {
  if (text.size() < 11 || text[4] != '-' || text[7] != '-' || text[10] != 'T') return false;
  constexpr size_t kDigitsAt[] = {0, 1, 2, 3, 5, 6, 8, 9};
  for (size_t i : kDigitsAt)
    if (!IsDigit(text[i])) return false;
  for (size_t i = 11; i < text.size(); ++i)
    if (text[i] == '/') return false;
  return true;
}

// The day of a date text in the reports' own shape, when it is a valid date.
bool TryPlainIsoDate(std::string_view text, double& day) {
  if (!IsPlainIsoDate(text)) return false;
  const int32_t y = Digits(text, 0, 4), m = Digits(text, 5, 2), d = Digits(text, 8, 2);
  if (!IsValidDate(y, m, d)) return false;
  day = EncodeDate(y, m, d);
  return true;
}

// The year, month and day pieces of a date text, cut by the rule in table_rows.h.
struct DatePieces {
  std::string_view year, month, day;
};

DatePieces CutDate(std::string_view date_text) {
  DatePieces p;
  if (date_text.find('/') != std::string_view::npos) {
    std::string_view work = Before(date_text, " ");
    p.month = Before(work, "/");
    work = After(work, "/");
    p.day = Before(work, "/");
    p.year = After(work, "/");
  } else {
    std::string_view work = Before(date_text, "T");
    p.year = Before(work, "-");
    work = After(work, "-");
    p.month = Before(work, "-");
    p.day = After(work, "-");
  }
  return p;
}

// ParseSaleDate without raising: false where it raises.
bool TryParseSaleDate(std::string_view date_text, double& day) {
  if (TryPlainIsoDate(date_text, day)) return true;
  const DatePieces p = CutDate(date_text);
  int32_t d = 0, m = 0, y = 0;
  if (!TryStrToInt(p.day, d) || !TryStrToInt(p.month, m) || !TryStrToInt(p.year, y) ||
      !IsValidDate(y, m, d))
    return false;
  day = EncodeDate(y, m, d);
  return true;
}

}  // namespace

double ParseSaleDate(std::string_view date_text) {
  // The reports' own shape, read without cutting it into pieces first.
  if (double day = 0; TryPlainIsoDate(date_text, day)) return day;
  const DatePieces p = CutDate(date_text);
  int32_t d = StrToInt(p.day);
  int32_t m = StrToInt(p.month);
  int32_t y = StrToInt(p.year);
  return EncodeDate(y, m, d);
}

void TableRows::SkuRow(std::span<const std::string_view, kSkuValues> v) {
  skus_.AddSku(v[0], v[1], v[2], v[4] == "Professional" ? "PPC" : "SP", v[5]);
}

void TableRows::SaleRow(std::span<const std::string_view, kSaleValues> v) {
  sales_.AddSale(v[0], v[1], ParseSaleDate(v[5]));
}

bool TableRows::PrepareSale(std::span<const std::string_view, kSaleValues> values,
                            PreparedSale& prepared) const {
  prepared.purchase_hash = sales_.PurchaseHash(values[1]);
  prepared.has_day = TryParseSaleDate(values[5], prepared.day);
  return true;
}

void TableRows::SaleRows(const std::string_view* values, const PreparedSale* prepared,
                         size_t count) {
  // Row i + kAhead is looked ahead at while row i is added: its index slot and its ids' bytes
  // (written by another thread, as a rule on another CPU) are fetched meanwhile.
  constexpr size_t kAhead = 8;
  std::array<uint32_t, kAhead> hashes;  // of rows i to i + kAhead - 1, at i % kAhead
  auto look_ahead = [&](size_t row) {
    const std::string_view* v = values + row * kSaleValues;
    const uint32_t hash =
        prepared != nullptr ? prepared[row].purchase_hash : sales_.PurchaseHash(v[1]);
    hashes[row % kAhead] = hash;
    sales_.Prefetch(hash);
    __builtin_prefetch(v[0].data());
    __builtin_prefetch(v[1].data());
  };
  for (size_t row = 0; row < std::min(kAhead, count); ++row) look_ahead(row);
  for (size_t row = 0; row < count; ++row) {
    const std::string_view* v = values + row * kSaleValues;
    const uint32_t hash = hashes[row % kAhead];
    if (row + kAhead < count) look_ahead(row + kAhead);
    const bool has_day = prepared != nullptr && prepared[row].has_day;
    sales_.AddSale(v[0], v[1], hash, has_day ? prepared[row].day : ParseSaleDate(v[5]));
  }
}

}  // namespace tollwick
