// The files the sales page embeds, read into the program when it is built: the chart library
// as Debian packages it (Chart.js 3.9, MIT licence, from libjs-chart.js), the page's own
// script (page.js) and its stylesheet (page.css).
#pragma once

#include <string_view>

namespace tollwick {

extern const std::string_view kChartLibraryScript;
extern const std::string_view kPageScript;
extern const std::string_view kPageStyle;

}  // namespace tollwick
