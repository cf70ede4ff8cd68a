// The product table (one RSKU per SKU id) and the sale table (one RSALE per purchase id).
// Both are find-or-append tables: a key seen again overwrites its record in place, so a record
// keeps the position where its key was first seen. A hash index makes each add O(1) expected.
// Sale records are kept in blocks, so that a growing table never moves or copies them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tables/block_array.h"
#include "tables/record_index.h"

namespace tollwick {

struct RSKU {
  std::string SkuId;
  std::string Title;
  std::string Version;
  std::string Detail;
  std::string OsType;  // "PPC" for a fifth cell of exactly "Professional", else "SP"
  std::string Market;
  std::string Currency;  // set from the price list; empty until then
  int32_t Amount = 0;    // price in hundredths of Currency
};

struct RSALE {
  std::string SkuId;
  std::string PurchaseId;
  std::string ThirdCell;
  std::string FourthCell;
  std::string FifthCell;
  std::string DateText;
  std::string SeventhCell;
  double SaleDate = 0;  // day number of DateText
};

// Hash and equality that accept std::string and std::string_view alike.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using TextIndex = std::unordered_map<std::string, size_t, TextHash, std::equal_to<>>;

// Sort key of an SKU: Title + Market + Version + OsType, joined without separator.
std::string SkuSortKey(const RSKU& sku);

class SkuTable {
 public:
  // Finds the SKU by id or appends it; assigns the six texts; keeps Currency and Amount.
  void AddSku(std::string_view sku_id, std::string_view title, std::string_view version,
              std::string_view detail, std::string_view os_cell, std::string_view market);
  // Stable ascending order of SkuSortKey, bytes compared as unsigned values.
  void SortSkus();
  void Clear();

  // Index of the SKU with this id, or npos.
  static constexpr size_t npos = static_cast<size_t>(-1);
  size_t Find(std::string_view sku_id) const;

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  RSKU& operator[](size_t i) { return records_[i]; }
  const RSKU& operator[](size_t i) const { return records_[i]; }
  const std::vector<RSKU>& records() const { return records_; }
  std::vector<RSKU>::iterator begin() { return records_.begin(); }
  std::vector<RSKU>::iterator end() { return records_.end(); }
  std::vector<RSKU>::const_iterator begin() const { return records_.begin(); }
  std::vector<RSKU>::const_iterator end() const { return records_.end(); }

 private:
  std::vector<RSKU> records_;
  RecordIndex index_;
};

// Day number of a sale's date text: "month/day/year time" when it holds a "/", else
// "year-month-dayTtime". Raises EConvertError for a piece that is no integer (day piece first,
// then month, then year) and for an invalid date.
double ParseSaleDate(std::string_view date_text);

class SaleTable {
 public:
  // Finds the sale by purchase id or appends it; assigns the seven texts and the parsed date.
  void AddSale(std::string_view sku_id, std::string_view purchase_id, std::string_view third,
               std::string_view fourth, std::string_view fifth, std::string_view date_text,
               std::string_view seventh);
  void Clear();

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const RSALE& operator[](size_t i) const { return records_[i]; }
  const BlockArray<RSALE>& records() const { return records_; }
  BlockArray<RSALE>::const_iterator begin() const { return records_.begin(); }
  BlockArray<RSALE>::const_iterator end() const { return records_.end(); }

 private:
  BlockArray<RSALE> records_;
  RecordIndex index_;
};

}  // namespace tollwick
