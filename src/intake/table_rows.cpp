#include "intake/table_rows.h"

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

void TableRows::SkuRow(std::span<const std::string_view, kSkuValues> v) {
  skus_.AddSku(v[0], v[1], v[2], v[4] == "Professional" ? "PPC" : "SP", v[5]);
}

void TableRows::SaleRow(std::span<const std::string_view, kSaleValues> v) {
  sales_.AddSale(v[0], v[1], ParseSaleDate(v[5]));
}

}  // namespace tollwick
