#include "output/period_tally.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "base/text.h"
#include "output/format.h"

namespace tollwick {

namespace {

// Whether two SKUs have the same market-line key, Market + " " + OsType + " " + Title, as
// joined texts (not field by field), without joining them.
bool SameKey(const RSKU& a, const RSKU& b) {
  const std::string_view x[] = {a.Market, " ", a.OsType, " ", a.Title};
  const std::string_view y[] = {b.Market, " ", b.OsType, " ", b.Title};
  return CompareJoined(x, y) == 0;
}

}  // namespace

std::string TallyLine::Name() const {
  if (IsTotal) return "TOTAL " + (Sku != nullptr ? Sku->Title : std::string());
  return Sku != nullptr ? Sku->Market + " " + Sku->OsType + " " + Sku->Title : std::string();
}

void TallyLine::WriteName(OutputSink& out, bool title_only) const {
  AppendTextField(out.buffer(), title_only ? std::string(Title()) : Name());
}

PeriodTally::PeriodTally(const SkuTable& skus, const SaleTable& sales,
                         const CurrencyTable& currencies)
    : currency_sums_(currencies.size(), 0) {
  // Each SKU belongs to one open market line and one open title line. A line gets its
  // position only when it is closed, so the SKUs record group numbers first and the groups
  // their positions as they close. Group 0 of each kind is the one open before the first SKU:
  // no key and the empty title.
  std::vector<size_t> line_position(1), title_position(1);
  std::vector<size_t> sku_line(skus.size()), sku_title(skus.size());
  size_t line_group = 0, title_group = 0;
  const RSKU* key_sku = nullptr;    // the SKU whose key is the current key
  const RSKU* title_sku = nullptr;  // the SKU whose title is the current title
  for (size_t i = 0; i < skus.size(); ++i) {
    const RSKU& sku = skus[i];
    // A key holds two blanks, so the first SKU always opens a line.
    if (key_sku == nullptr || !SameKey(sku, *key_sku)) {
      if (i > 0) {
        line_position[line_group] = lines_.size();
        lines_.push_back(TallyLine{key_sku, 0, false});
      }
      line_group = line_position.size();
      line_position.push_back(0);
      key_sku = &sku;
      // The title is looked at only when the key changes.
      if (sku.Title != (title_sku != nullptr ? std::string_view(title_sku->Title) : "")) {
        if (i > 0) {
          title_position[title_group] = lines_.size();
          lines_.push_back(TallyLine{title_sku, 0, true});
        }
        title_group = title_position.size();
        title_position.push_back(0);
        title_sku = &sku;
      }
    }
    sku_line[i] = line_group;
    sku_title[i] = title_group;
  }
  line_position[line_group] = lines_.size();
  lines_.push_back(TallyLine{key_sku, 0, false});
  title_position[title_group] = lines_.size();
  lines_.push_back(TallyLine{title_sku, 0, true});

  skus_.resize(skus.size());
  for (size_t i = 0; i < skus.size(); ++i) {
    const size_t currency = currencies.Find(skus[i].Currency);
    skus_[i] = {static_cast<uint32_t>(line_position[sku_line[i]]),
                static_cast<uint32_t>(title_position[sku_title[i]]),
                currency == CurrencyTable::npos ? kNoCurrency : static_cast<uint32_t>(currency),
                skus[i].Amount};
  }

  // Each distinct SKU id of the sales is looked up once.
  std::vector<size_t> sku_of_number(sales.SkuIdCount());
  for (size_t n = 0; n < sku_of_number.size(); ++n) sku_of_number[n] = skus.Find(sales.SkuIdAt(n));
  auto sku_of_sale = [&](size_t s) { return sku_of_number[sales.SkuNumber(s)]; };

  // The sales of known SKUs (a sale of no known SKU counts nowhere), ordered by day; the order
  // within a day does not matter. Days are whole numbers, as a rule within a few thousand of
  // each other: then the sales of each day are counted, and each sale is placed right where
  // its day begins, with no sort and no second copy. Other days are sorted.
  if (sales.empty()) return;
  const SaleTable::DaySpan& days = sales.Days();
  if (!days.whole || days.last - days.first >= 4.0 * static_cast<double>(sales.size()) + 65536) {
    std::vector<std::pair<double, uint32_t>> sorted;
    for (size_t s = 0; s < sales.size(); ++s)
      if (size_t i = sku_of_sale(s); i != SkuTable::npos)
        sorted.emplace_back(sales.SaleDate(s), static_cast<uint32_t>(i));
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [day, sku] : sorted) {
      sale_days_.push_back(day);
      sale_skus_.push_back(sku);
    }
    return;
  }
  first_day_ = days.first;
  auto slot = [&](size_t s) { return static_cast<size_t>(sales.SaleDate(s) - days.first); };
  day_begin_.assign(static_cast<size_t>(days.last - days.first) + 2, 0);
  for (size_t s = 0; s < sales.size(); ++s)
    if (sku_of_sale(s) != SkuTable::npos) ++day_begin_[slot(s) + 1];
  for (size_t d = 1; d < day_begin_.size(); ++d) day_begin_[d] += day_begin_[d - 1];
  std::vector<size_t> next(day_begin_.begin(), day_begin_.end() - 1);
  sale_skus_.resize(day_begin_.back());
  for (size_t s = 0; s < sales.size(); ++s)
    if (size_t i = sku_of_sale(s); i != SkuTable::npos)
      sale_skus_[next[slot(s)]++] = static_cast<uint32_t>(i);
}

void PeriodTally::TallyPeriod(double start, double end) {
  for (TallyLine& line : lines_) line.Count = 0;
  std::fill(currency_sums_.begin(), currency_sums_.end(), 0);
  if (!(start < end)) return;  // an empty window (or one with no valid bound)
  size_t from = 0, to = 0;
  if (!day_begin_.empty()) {
    // Day first_day_ + k lies in the window when ceil(start - first_day_) <= k and
    // k < ceil(end - first_day_).
    const auto days = static_cast<double>(day_begin_.size() - 1);
    auto first_in = [&](double bound) {
      const double k = std::ceil(bound - first_day_);
      return k <= 0 ? size_t{0} : k >= days ? day_begin_.size() - 1 : static_cast<size_t>(k);
    };
    from = day_begin_[first_in(start)];
    to = day_begin_[first_in(end)];
  } else {
    from = static_cast<size_t>(std::lower_bound(sale_days_.begin(), sale_days_.end(), start) -
                               sale_days_.begin());
    to = static_cast<size_t>(std::lower_bound(sale_days_.begin(), sale_days_.end(), end) -
                             sale_days_.begin());
  }
  for (size_t i = from; i < to; ++i) {
    const SkuRef& sku = skus_[sale_skus_[i]];
    ++lines_[sku.line].Count;
    ++lines_[sku.title_line].Count;
    if (sku.currency != kNoCurrency &&
        __builtin_add_overflow(currency_sums_[sku.currency], sku.amount,
                               &currency_sums_[sku.currency]))
      Raise(ErrorKind::EInvalidOp, std::string(kInvalidOpMessage));
  }
}

}  // namespace tollwick
