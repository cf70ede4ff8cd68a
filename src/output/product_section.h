// The product section: the header "SKUID;Title;Market;Version;OS Type;Currency;Amount;" (when
// headers are on), one line per SKU in table order, then an empty line. An SKU without a price
// (empty Currency) shows "???;???;" in place of currency and amount.
#pragma once

#include "base/output_sink.h"
#include "output/report_options.h"
#include "tables/sku_table.h"

namespace tollwick {

void WriteProductSection(const SkuTable& skus, const ReportOptions& options, OutputSink& out);

}  // namespace tollwick
