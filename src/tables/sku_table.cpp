#include "tables/sku_table.h"

#include <algorithm>
#include <numeric>

#include "tables/day_number.h"
#include "tables/text.h"

namespace tollwick {

namespace {

// Position of the record with this key; a new empty record at the end when there is none.
// The key is copied only for a new record.
template <typename Record>
size_t FindOrAppend(TextIndex& index, std::vector<Record>& records, std::string_view key) {
  auto it = index.find(key);
  if (it != index.end()) return it->second;
  index.emplace(std::string(key), records.size());
  records.emplace_back();
  return records.size() - 1;
}

}  // namespace

std::string SkuSortKey(const RSKU& sku) {
  std::string key;
  key.reserve(sku.Title.size() + sku.Market.size() + sku.Version.size() + sku.OsType.size());
  key += sku.Title;
  key += sku.Market;
  key += sku.Version;
  key += sku.OsType;
  return key;
}

void SkuTable::AddSku(std::string_view sku_id, std::string_view title, std::string_view version,
                      std::string_view detail, std::string_view os_cell, std::string_view market) {
  RSKU& sku = records_[FindOrAppend(index_, records_, sku_id)];
  sku.SkuId = sku_id;
  sku.Title = title;
  sku.Version = version;
  sku.Detail = detail;
  sku.OsType = os_cell == "Professional" ? "PPC" : "SP";
  sku.Market = market;
}

void SkuTable::SortSkus() {
  // Bubble sort with exchange on "strictly less" is stable; a stable sort on the same keys
  // gives the same order.
  std::vector<std::string> keys;
  keys.reserve(records_.size());
  for (const RSKU& sku : records_) keys.push_back(SkuSortKey(sku));
  std::vector<size_t> order(records_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&keys](size_t a, size_t b) { return keys[a] < keys[b]; });
  std::vector<RSKU> sorted;
  sorted.reserve(records_.size());
  for (size_t i : order) sorted.push_back(std::move(records_[i]));
  records_ = std::move(sorted);
  for (size_t i = 0; i < records_.size(); ++i) index_[records_[i].SkuId] = i;
}

void SkuTable::Clear() {
  records_.clear();
  index_.clear();
}

size_t SkuTable::Find(std::string_view sku_id) const {
  auto it = index_.find(sku_id);
  return it == index_.end() ? npos : it->second;
}

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

}  // namespace

double ParseSaleDate(std::string_view date_text) {
  std::string_view year, month, day;
  if (date_text.find('/') != std::string_view::npos) {
    std::string_view work = Before(date_text, " ");
    month = Before(work, "/");
    work = After(work, "/");
    day = Before(work, "/");
    year = After(work, "/");
  } else {
    std::string_view work = Before(date_text, "T");
    year = Before(work, "-");
    work = After(work, "-");
    month = Before(work, "-");
    day = After(work, "-");
  }
  int32_t d = StrToInt(day);
  int32_t m = StrToInt(month);
  int32_t y = StrToInt(year);
  return EncodeDate(y, m, d);
}

void SaleTable::AddSale(std::string_view sku_id, std::string_view purchase_id,
                        std::string_view third, std::string_view fourth, std::string_view fifth,
                        std::string_view date_text, std::string_view seventh) {
  RSALE& sale = records_[FindOrAppend(index_, records_, purchase_id)];
  sale.SkuId = sku_id;
  sale.PurchaseId = purchase_id;
  sale.ThirdCell = third;
  sale.FourthCell = fourth;
  sale.FifthCell = fifth;
  sale.DateText = date_text;
  sale.SeventhCell = seventh;
  sale.SaleDate = ParseSaleDate(date_text);
}

void SaleTable::Clear() {
  records_.clear();
  index_.clear();
}

}  // namespace tollwick
