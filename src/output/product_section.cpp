#include "output/product_section.h"

#include <string>

#include "output/format.h"

namespace tollwick {

void WriteProductSection(const SkuTable& skus, const ReportOptions& options, OutputSink& out) {
  if (options.ShowHeaders) {
    out.Append("SKUID;Title;Market;Version;OS Type;Currency;Amount;");
    out.EndLine();
  }
  for (const RSKU& sku : skus) {
    std::string& buf = out.buffer();
    for (const std::string* field :
         {&sku.SkuId, &sku.Title, &sku.Market, &sku.Version, &sku.OsType}) {
      buf += *field;
      buf += ';';
    }
    if (sku.Currency.empty()) {
      buf += "???;???;";
    } else {
      buf += sku.Currency;
      buf += ';';
      AppendCents(buf, sku.Amount);
      buf += ';';
    }
    out.EndLine();
  }
  out.EndLine();
}

}  // namespace tollwick
