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
    for (const std::string* field :
         {&sku.SkuId, &sku.Title, &sku.Market, &sku.Version, &sku.OsType}) {
      AppendTextField(out.buffer(), *field);
      out.Append(';');
    }
    if (sku.Currency.empty()) {
      out.Append("???;???;");
    } else {
      AppendTextField(out.buffer(), sku.Currency);
      out.Append(';');
      AppendCents(out.buffer(), sku.Amount);
      out.Append(';');
    }
    out.EndLine();
  }
  out.EndLine();
}

}  // namespace tollwick
