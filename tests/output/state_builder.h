// Builds a run state directly, as the intake and the price list would leave it.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "tables/day_number.h"
#include "tables/run_state.h"

namespace tollwick::testing {

struct SkuRow {
  std::string id, title, market, version;
  bool professional = true;  // OsType PPC, else SP
  std::string currency;      // empty: no price
  int32_t amount = 0;
};

inline SkuRow Sku(std::string id, std::string title, std::string market, std::string version,
                  bool professional = true, std::string currency = "", int32_t amount = 0) {
  return {std::move(id), std::move(title),    std::move(market), std::move(version),
          professional,  std::move(currency), amount};
}

inline void AddPricedSku(RunState& state, const SkuRow& row) {
  state.Skus.AddSku(row.id, row.title, row.version, "", row.professional ? "Professional" : "",
                    row.market);
  RSKU& sku = state.Skus[state.Skus.Find(row.id)];
  sku.Currency = row.currency;
  sku.Amount = row.amount;
}

// A sale with a fresh purchase id on the given day.
inline void AddSaleOn(RunState& state, std::string_view sku_id, int year, int month, int day) {
  std::string date = std::to_string(year) + "-" + std::to_string(month) + "-" +
                     std::to_string(day) + "T10:00:00Z";
  state.Sales.AddSale(sku_id, "P" + std::to_string(state.Sales.size()), "", "", "", date, "");
}

inline void SetRange(RunState& state, int y1, int m1, int d1, int y2, int m2, int d2) {
  state.RangeStart = EncodeDate(y1, m1, d1);
  state.RangeEnd = EncodeDate(y2, m2, d2);
}

}  // namespace tollwick::testing
