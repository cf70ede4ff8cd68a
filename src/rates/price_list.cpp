#include "rates/price_list.h"

#include <string>

#include "base/text.h"
#include "base/text_file.h"

namespace tollwick {

std::vector<std::string_view> SplitPriceFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (start < line.size()) {
    size_t end = line.find(';', start);
    if (end == std::string_view::npos) end = line.size();
    fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return fields;
}

void ApplyPriceList(std::string_view text, std::string_view path, SkuTable& skus,
                    CurrencyTable& currencies, WarningList& warnings) {
  for (std::string_view line : SplitLines(text)) {
    std::vector<std::string_view> fields = SplitPriceFields(line);
    if (fields.size() < 3) continue;
    currencies.RegisterCurrency(fields[1]);
    size_t i = skus.Find(fields[0]);
    if (i == SkuTable::npos) continue;
    int32_t amount = 0;
    if (!TryStrToInt(fields[2], amount)) {
      warnings.Add("the price " + Quoted(fields[2]) + " of " + Quoted(fields[0]) + " in " +
                   Quoted(path) + " cannot be read as a whole number of cents");
      StrToInt(fields[2]);  // raises the amount's error
    }
    skus.SetPrice(i, fields[1], amount);
  }
}

}  // namespace tollwick
