#include "page/page_html.h"

#include <charconv>
#include <cstdio>

#include "output/format.h"
#include "page/page_assets.h"
#include "page/page_text.h"

namespace tollwick {

namespace {

std::string DayText(const CivilDate& date, bool with_day = true) {
  std::string text;
  AppendPadded(text, date.year, 4);
  text += '-';
  AppendPadded(text, date.month, 2);
  if (with_day) {
    text += '-';
    AppendPadded(text, date.day, 2);
  }
  return text;
}

std::string FigureText(const Figure& figure) {
  return figure ? FormatCents(*figure) : std::string("\xE2\x80\x93");  // an en dash
}

// The change from `before` to `now` in percent, one decimal, as the page's script writes it;
// a dash where it has no meaning.
std::string ChangeText(const Figure& now, const Figure& before) {
  if (!now || !before || (*before == 0 && *now != 0)) return "\xE2\x80\x93";
  const double percent = *before == 0
                             ? 0.0
                             : static_cast<double>(*now - *before) /
                                   static_cast<double>(*before < 0 ? -*before : *before) * 100;
  char text[48];
  std::snprintf(text, sizeof text, "%s%.1f %%", percent > 0 ? "+" : "", percent);
  return text;
}

void AppendFigure(std::string& out, const Figure& figure) {
  if (figure) {
    AppendInteger(out, *figure);
  } else {
    out += "null";
  }
}

// "[a,b,...]" of the texts.
template <typename Texts>
void AppendStrings(std::string& out, const Texts& texts) {
  out += '[';
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) out += ',';
    AppendJsonString(out, texts[i]);
  }
  out += ']';
}

// "[line,count,cents,...]", or without the cents "[line,count,...]".
void AppendCells(std::string& out, const std::vector<PageCell>& cells, bool with_cents = true) {
  out += '[';
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out += ',';
    AppendInteger(out, cells[i].Line);
    out += ',';
    AppendInteger(out, cells[i].Count);
    if (with_cents) {
      out += ',';
      AppendInteger(out, cells[i].Cents);
    }
  }
  out += ']';
}

void AppendRate(std::string& out, const std::optional<long double>& rate) {
  if (!rate) {
    out += "null";
    return;
  }
  char text[64];
  auto result = std::to_chars(text, text + sizeof text, static_cast<double>(*rate));
  out.append(text, result.ptr);
}

void AppendSelect(std::string& out, std::string_view filter, std::string_view label,
                  std::string_view all, const std::vector<std::string_view>& values) {
  out += "<label>";
  out += label;
  out += "<select data-filter=\"";
  out += filter;
  out += "\">";
  if (!all.empty()) {
    out += "<option value=\"\">";
    out += all;
    out += "</option>";
  }
  for (std::string_view value : values) {
    out += "<option value=\"";
    AppendHtmlText(out, value);
    out += "\">";
    AppendHtmlText(out, value);
    out += "</option>";
  }
  out += "</select></label>\n";
}

void AppendSection(std::string& out, std::string_view kind, std::string_view name,
                   std::string_view heading, bool wide = false) {
  out += "<section class=\"";
  out += wide ? "wide" : "";
  out += kind == "table" ? " tables\"><h2>" : "\"><h2>";
  out += heading;
  out += "</h2>";
  if (kind == "chart") {
    out += "<div class=\"chart\"><canvas data-chart=\"";
  } else {
    out += "<div class=\"table\" data-table=\"";
  }
  out += name;
  out += kind == "chart" ? "\" role=\"img\" aria-label=\"" : "\">";
  if (kind == "chart") {
    out += heading;
    out += "\"></canvas>";
  }
  out += "</div></section>\n";
}

void AppendHeaderFigure(std::string& out, std::string_view name, std::string_view label,
                        std::string_view value, std::string_view unit) {
  out += "<div class=\"figure\"><div class=\"label\">";
  out += label;
  out += "</div><div class=\"value\"><span data-figure=\"";
  out += name;
  out += "\">";
  out += value;
  out += "</span>";
  if (!unit.empty()) {
    out += " <span class=\"unit\">";
    AppendHtmlText(out, unit);
    out += "</span>";
  }
  out += "</div></div>\n";
}

// The figures as the JSON object the page's script reads.
std::string PageJson(const PageData& data, const SkuTable& skus) {
  std::string out;
  out.reserve(size_t{64} * 1024);
  out += "{\"currency\":";
  AppendJsonString(out, data.TotalCurrency);
  out += ",\"first\":\"" + DayText(data.FirstDay) + "\",\"last\":\"" + DayText(data.LastDay) +
         "\",\"titles\":";
  AppendStrings(out, data.Titles);
  out += ",\"markets\":";
  AppendStrings(out, data.Markets);
  out += ",\"currencies\":";
  AppendStrings(out, data.Currencies);
  out += ",\"rates\":[";
  for (size_t c = 0; c < data.Rates.size(); ++c) {
    if (c > 0) out += ',';
    AppendRate(out, data.Rates[c]);
  }
  out += "],\"lines\":[";
  for (size_t i = 0; i < data.Lines.size(); ++i) {
    const PageLine& line = data.Lines[i];
    if (i > 0) out += ',';
    AppendInteger(out, line.Title);
    out += ',';
    AppendInteger(out, line.Market);
    out += ',';
    AppendInteger(out, line.Currency == kPageNoCurrency ? -1 : int64_t{line.Currency});
  }
  out += "],\"months\":[";
  for (size_t m = 0; m < data.Months.size(); ++m) {
    if (m > 0) out += ',';
    out += '"' + DayText(data.Months[m], false) + '"';
  }
  out += "],\"monthCells\":[";
  for (size_t m = 0; m < data.MonthCells.size(); ++m) {
    if (m > 0) out += ',';
    AppendCells(out, data.MonthCells[m]);
  }
  // Whether the months hold the range's sales and no others.
  int64_t month_sales = 0;
  for (const auto& cells : data.MonthCells)
    for (const PageCell& cell : cells) month_sales += cell.Count;
  out += "],\"wholeMonths\":";
  out += month_sales == data.Sales ? "true" : "false";
  out += ",\"range\":";
  AppendCells(out, data.RangeCells);
  out += ",\"previous\":";
  AppendCells(out, data.PreviousCells);
  out += ",\"firstListed\":\"" + DayText(data.FirstListedDay) + "\",\"dayCells\":[";
  for (size_t d = 0; d < data.DayCells.size(); ++d) {
    if (d > 0) out += ',';
    AppendCells(out, data.DayCells[d], false);
  }
  out += "],\"head\":{\"total\":";
  if (data.Total)
    AppendJsonString(out, FormatCents(*data.Total));
  else
    out += "null";
  out += ",\"sales\":\"";
  AppendInteger(out, data.Sales);
  out += "\",\"share\":";
  if (data.Share)
    AppendJsonString(out, FormatCents(*data.Share));
  else
    out += "null";
  out += "},\"headCents\":{\"total\":";
  AppendFigure(out, data.Total);
  out += ",\"previous\":";
  AppendFigure(out, data.PreviousTotal);
  out += "},\"products\":[";
  for (size_t i = 0; i < skus.size(); ++i) {
    const RSKU& sku = skus[i];
    const bool priced = !sku.Currency.empty();
    if (i > 0) out += ',';
    out += '[';
    for (std::string_view field :
         {std::string_view(sku.SkuId), std::string_view(sku.Title), std::string_view(sku.Market),
          std::string_view(sku.Version), std::string_view(sku.OsType)}) {
      AppendJsonString(out, field);
      out += ',';
    }
    AppendJsonString(out, priced ? std::string_view(sku.Currency) : "???");
    out += ',';
    AppendJsonString(out, priced ? FormatCents(sku.Amount) : "???");
    out += ']';
  }
  out += "]}";
  return out;
}

}  // namespace

std::string PageHtml(const PageData& data, const SkuTable& skus) {
  const std::string range = DayText(data.FirstDay) + " \xE2\x80\x93 " + DayText(data.LastDay);
  std::string out;
  out.reserve(kChartLibraryScript.size() + size_t{256} * 1024);
  out +=
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      // Nothing may be fetched: no script, style, font, image or connection from elsewhere.
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src data:\">\n"
      "<meta name=\"generator\" content=\"Tollwick v1.0\">\n<title>Sales ";
  out += range;
  out += "</title>\n<style>\n";
  out += kPageStyle;
  out += "</style>\n</head>\n<body>\n<header>\n<h1>Sales <span data-figure=\"range\">";
  out += range;
  out += "</span></h1>\n<div class=\"figures\">\n";
  AppendHeaderFigure(out, "total", "Money", FigureText(data.Total), data.TotalCurrency);
  std::string sales;
  AppendInteger(sales, data.Sales);
  AppendHeaderFigure(out, "sales", "Sales", sales, "");
  AppendHeaderFigure(out, "share", "Share 70 %", FigureText(data.Share), data.TotalCurrency);
  AppendHeaderFigure(out, "change", "Against the period before",
                     ChangeText(data.Total, data.PreviousTotal), "");
  out += "</div>\n</header>\n<nav class=\"filters\">\n";
  AppendSelect(out, "title", "Title", "All titles", data.Titles);
  AppendSelect(out, "market", "Market", "All markets", data.Markets);
  AppendSelect(out, "from", "From", "", {});
  AppendSelect(out, "to", "To", "", {});
  out += "</nav>\n<main>\n";
  AppendSection(out, "chart", "money-per-month", "Money per month, by title", true);
  AppendSection(out, "chart", "money-per-title", "Money per title");
  AppendSection(out, "chart", "money-per-market", "Money per market");
  AppendSection(out, "chart", "sales-per-day", "Sales per day, last 90 days", true);
  AppendSection(out, "chart", "change-per-month", "Change of each month's money (%)", true);
  AppendSection(out, "table", "months", "Months", true);
  AppendSection(out, "table", "revenue", "Money per title and month", true);
  AppendSection(out, "table", "markets", "Money per market and month", true);
  AppendSection(out, "table", "products", "Products", true);
  out += "</main>\n<footer>Money in hundredths converted into ";
  AppendHtmlText(out, data.TotalCurrency);
  out +=
      " as the statistics convert it. Made by Tollwick v1.0. Charts drawn with Chart.js "
      "(MIT licence).</footer>\n<script id=\"tollwick-data\" type=\"application/json\">";
  out += PageJson(data, skus);
  out += "</script>\n<script>\n";
  out += ScriptElementText(kChartLibraryScript);
  out += "\n</script>\n<script>\n";
  out += ScriptElementText(kPageScript);
  out += "</script>\n</body>\n</html>\n";
  return out;
}

}  // namespace tollwick
