// Builds a run state directly, as the intake and the price list would leave it.
#pragma once

#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
  return {std::move(id),
          std::move(title),
          std::move(market),
          std::move(version),
          professional,
          std::move(currency),
          amount};
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
  std::string date =
      std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day) + "T10:00:00Z";
  state.Sales.AddSale(sku_id, "P" + std::to_string(state.Sales.size()), "", "", "", date, "");
}

inline void SetRange(RunState& state, int y1, int m1, int d1, int y2, int m2, int d2) {
  state.RangeStart = EncodeDate(y1, m1, d1);
  state.RangeEnd = EncodeDate(y2, m2, d2);
}

// Random tables full of the awkward cases: titles that begin other titles, empty titles,
// markets holding blanks, repeated SKU and purchase ids, sales of unknown SKUs, unpriced
// SKUs, prices in unregistered currencies, tables left unsorted.
inline RunState RandomState(std::mt19937& rng) {
  auto pick = [&rng](const std::vector<std::string>& pool) {
    return pool[std::uniform_int_distribution<size_t>(0, pool.size() - 1)(rng)];
  };
  auto number = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const std::vector<std::string> titles = {"",      "A",           "AB",   "A B",
                                           "Chess", "ChessMaster", "SP X", "X"};
  const std::vector<std::string> markets = {"", "US", "DE", "US PPC", "A", "AT"};
  const std::vector<std::string> currencies = {"", "EUR", "USD", "GBP", "JPY", "usd"};
  RunState state;
  int sku_count = number(0, 12);
  for (int i = 0; i < sku_count; ++i) {
    SkuRow row{"S" + std::to_string(number(0, 14)),
               pick(titles),
               pick(markets),
               std::to_string(number(1, 2)),
               number(0, 1) == 1,
               pick(currencies),
               number(-500, 100000)};
    AddPricedSku(state, row);
  }
  for (int i = number(0, 4); i > 0; --i) state.Currencies.RegisterCurrency(pick(currencies));
  if (number(0, 4) != 0) {
    state.Skus.SortSkus();
    state.Currencies.SortCurrencies();
  }
  for (int i = number(0, 60); i > 0; --i) {
    // From November 2009 to February 2010.
    int month = number(11, 14);
    std::string date = std::to_string(month > 12 ? 2010 : 2009) + "-" +
                       std::to_string(month > 12 ? month - 12 : month) + "-" +
                       std::to_string(number(1, 28)) + "T00:00:00";
    state.Sales.AddSale("S" + std::to_string(number(0, 17)), "P" + std::to_string(number(0, 50)),
                        "", "", "", date, "");
  }
  const std::vector<long double> rates = {0.5L, 1, 1.495L, 2, 3};
  for (int i = number(0, 5); i > 0; --i) {
    state.Rates.Append(pick(currencies),
                       rates[std::uniform_int_distribution<size_t>(0, rates.size() - 1)(rng)]);
  }
  return state;
}

}  // namespace tollwick::testing
