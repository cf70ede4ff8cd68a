// The sales page: one self-contained UTF-8 HTML file that asks for nothing outside itself.
// Its header and filters are written here; its script draws the charts and tables from the
// embedded figures (see PageData) and redraws them when a filter changes.
//
// Hooks for scripts that read the page: the header's figures carry data-figure="total",
// "sales", "share" (their text as standard output writes them), "change" and "range"; the
// filters are <select data-filter="title">, "market", "from" and "to" (option values: the
// titles and markets as the statistics name them, "" for all; months as YYYY-MM); every chart
// is a <canvas data-chart="NAME"> and every table stands in an element data-table="NAME".
#pragma once

#include <string>

#include "page/page_data.h"
#include "tables/sku_table.h"

namespace tollwick {

// The whole page, the figures embedded as the JSON object its script reads.
std::string PageHtml(const PageData& data, const SkuTable& skus);

}  // namespace tollwick
