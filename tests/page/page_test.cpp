// The page's figures against a word-for-word computation, and its texts escaped as valid UTF-8.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "output/format.h"
#include "output/period_sections.h"
#include "page/page_data.h"
#include "page/page_html.h"
#include "page/page_text.h"

namespace tollwick {
namespace {

TEST(PageText, EscapesAndReplacesBytes) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // text, HTML, JSON
      {"</script><b a='1'>&", "&lt;/script&gt;&lt;b a=&#39;1&#39;&gt;&amp;",
       "\"\\u003c/script\\u003e\\u003cb a='1'\\u003e\\u0026\""},
      {"\"q\" \\ \t\n", "&quot;q&quot; \\ \t\n", "\"\\\"q\\\" \\\\ \\u0009\\u000a\""},
      {"\xE2\x80\xA8\xE2\x80\xA9", "\xE2\x80\xA8\xE2\x80\xA9", "\"\\u2028\\u2029\""},
      {"Caf\xC3\xA9 \xF0\x9F\x98\x80", "Caf\xC3\xA9 \xF0\x9F\x98\x80",
       "\"Caf\xC3\xA9 \xF0\x9F\x98\x80\""},
      // A stray continuation, a Latin-1 byte, an overlong form, a surrogate, beyond U+10FFFF,
      // a cut sequence and NUL: one U+FFFD per byte that begins no character.
      {"\x80|\xE9|\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\xE2\x82|" + std::string(1, '\0'),
       "\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD|"
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD",
       ""},
  };
  for (const auto& [text, expected_html, expected_json] : cases) {
    std::string html, json;
    AppendHtmlText(html, text);
    AppendJsonString(json, text);
    EXPECT_EQ(html, expected_html) << text;
    EXPECT_TRUE(expected_json.empty() || json == expected_json) << text << " as " << json;
  }
  EXPECT_EQ(ScriptElementText("a='</SCRIPT>';/<!--/;</scrip"), "a='<\\/SCRIPT>';/<\\!--/;</scrip");
}

// Whatever the bytes, a JSON literal is valid UTF-8 with nothing that could close a script.
TEST(PageText, AnyBytesGiveSafeJson) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text(random() % 12, '\0');
    for (char& c : text)
      c = static_cast<char>("<>&\"\\/\x80\xBF\xC3\xE2\xED\xF0\xF4\xFFsa\n"[random() % 18]);
    std::string json, valid;
    AppendJsonString(json, text);
    AppendValidUtf8(valid, json);
    EXPECT_EQ(valid, json);
    EXPECT_EQ(json.find_first_of("<>&\n"), std::string::npos) << json;
  }
}

struct PageTables {
  SkuTable skus;
  SaleTable sales;
  CurrencyTable currencies;
  RateTable rates;
};

// The cells of the window start <= day < end, sale by sale, with lines found by their names.
std::vector<PageCell> LiteralCells(const PageTables& t, const PageData& data, double start,
                                   double end) {
  std::map<uint32_t, PageCell> cells;
  for (const RSALE& sale : t.sales) {
    const size_t sku = t.skus.Find(sale.SkuId);
    if (sku == SkuTable::npos || sale.SaleDate < start || sale.SaleDate >= end) continue;
    const RSKU& s = t.skus[sku];
    const size_t currency = t.currencies.Find(s.Currency);
    const uint32_t code = currency == CurrencyTable::npos ? kPageNoCurrency : uint32_t(currency);
    uint32_t line = 0;
    while (data.Titles[data.Lines[line].Title] != s.Title ||
           data.Markets[data.Lines[line].Market] != s.Market || data.Lines[line].Currency != code)
      ++line;
    PageCell& cell = cells.try_emplace(line, PageCell{line, 0, 0}).first->second;
    ++cell.Count;
    if (currency != CurrencyTable::npos) cell.Cents += s.Amount;
  }
  std::vector<PageCell> out;
  for (const auto& [line, cell] : cells) out.push_back(cell);
  return out;
}

// Titles, markets and currencies mixed, one title hostile and no UTF-8; one SKU without a price,
// one priced in a currency that is not registered; sales over 17 months and of an unknown SKU.
TEST(PageData, FiguresMatchTheSalesAndTheTotalRow) {
  PageTables t;
  const char* const titles[] = {"Beta", "Alpha", "Al</script>\"><img onerror=x>\xE9"};
  const char* const markets[] = {"US", "DE", "FR"};
  const char* const codes[] = {"USD", "EUR", "GBP", "", "XXX"};
  for (int i = 0; i < 14; ++i) {
    const std::string id = "S" + std::to_string(i);
    t.skus.AddSku(id, titles[i % 3], "1", i % 2 ? "PPC" : "SP", markets[(i / 3) % 3]);
    t.skus.SetPrice(t.skus.Find(id), codes[i % 5], static_cast<int32_t>(99 + 50 * i));
  }
  t.skus.SortSkus();
  for (const char* code : {"USD", "EUR", "GBP"}) t.currencies.RegisterCurrency(code);
  t.currencies.SortCurrencies();
  for (auto [code, rate] : {std::pair{"EUR", 1.0L}, {"USD", 1.3L}, {"GBP", 0.85L}})
    t.rates.Append(code, rate);
  std::mt19937 random(2009);
  const std::pair<double, double> ranges[] = {
      {EncodeDate(2008, 11, 1), EncodeDate(2010, 4, 1)},   // every sale, whole months
      {EncodeDate(2009, 3, 15), EncodeDate(2009, 8, 10)},  // months cut at both ends
      {EncodeDate(2009, 6, 20), EncodeDate(2009, 6, 21)},  // one day
      {EncodeDate(2009, 6, 20), EncodeDate(2009, 6, 20)},  // no day
  };
  for (int round = 0; round < 5; ++round) {
    t.sales.Clear();
    for (int s = 0; s < 600; ++s)
      t.sales.AddSale("S" + std::to_string(random() % 15), "P" + std::to_string(s),
                      EncodeDate(2008, 11, 1) + static_cast<double>(random() % 517));
    for (const auto& [start, end] : ranges) {
      const MonthlyFigures figures(t.skus, t.sales, t.currencies, t.rates, start, end);
      const PageData data =
          BuildPageData(figures, t.skus, t.sales, t.currencies, t.rates, "EUR", start, end);
      SCOPED_TRACE(std::to_string(start) + " to " + std::to_string(end));

      // The header is the TOTAL row: "<counts>;;<total>;;<share>;".
      ReportOptions options;
      options.ShowHeaders = options.ShowMarkets = options.ShowCurrencies = false;
      OutputSink out;
      PeriodTally tally(t.skus, t.sales, t.currencies);
      WritePeriodSection(SectionKind::Total, tally, {options, t.currencies, t.rates, start, end},
                         out);
      int64_t sales = 0;
      for (const TallyLine& line : tally.lines()) sales += line.IsTotal ? line.Count : 0;
      EXPECT_EQ(out.text().substr(out.text().find(";;") + 2),
                FormatCents(*data.Total) + ";;" + FormatCents(*data.Share) + ";\r\n\r\n");
      EXPECT_EQ(data.Sales, sales);

      // The hostile title makes no element and closes none of the scripts: data, library, page.
      const std::string html = PageHtml(data, t.skus);
      std::string valid;
      AppendValidUtf8(valid, html);
      EXPECT_TRUE(valid == html);
      EXPECT_EQ(html.find("<img"), std::string::npos);
      const auto count = [&html](std::string_view text) {
        size_t found = 0;
        for (size_t at = 0; (at = html.find(text, at)) != std::string::npos; ++at) ++found;
        return found;
      };
      EXPECT_EQ(count("</script"), 3u);
      // The header's figures under their labels, and each chart's canvas closed.
      const auto money = [](const Figure& f) { return f ? FormatCents(*f) : "\xE2\x80\x93"; };
      for (const std::string& shown :
           {"Money</div><div class=\"value\"><span data-figure=\"total\">" + money(data.Total) +
                "</span> <span class=\"unit\">EUR</span></div></div>\n",
            "Sales</div><div class=\"value\"><span data-figure=\"sales\">" +
                std::to_string(data.Sales) + "</span></div></div>\n",
            "Share 70 %</div><div class=\"value\"><span data-figure=\"share\">" +
                money(data.Share) + "</span> <span class=\"unit\">EUR</span></div></div>\n"})
        EXPECT_EQ(count(shown), 1u) << shown;
      EXPECT_EQ(count("<canvas data-chart="), 5u);
      EXPECT_EQ(count("\"></canvas></div></section>\n"), 5u);

      EXPECT_EQ(data.RangeCells, LiteralCells(t, data, start, end));
      EXPECT_EQ(data.PreviousCells, LiteralCells(t, data, 2 * start - end, start));
      ASSERT_EQ(data.MonthCells.size(), figures.size());
      for (size_t m = 0; m < data.Months.size(); ++m) {
        const CivilDate month = data.Months[m];
        const double month_start = EncodeDate(month.year, month.month, 1);
        EXPECT_EQ(
            data.MonthCells[m],
            LiteralCells(t, data, month_start, month_start + DaysInMonth(month.year, month.month)));
      }
      const double listed = std::max(start, end - kPageDays);
      ASSERT_EQ(data.DayCells.size(), static_cast<size_t>(std::max(0.0, end - listed)));
      for (size_t d = 0; d < data.DayCells.size(); ++d) {
        std::vector<PageCell> day = LiteralCells(t, data, listed + static_cast<double>(d),
                                                 listed + static_cast<double>(d) + 1);
        for (PageCell& cell : day) cell.Cents = 0;
        EXPECT_EQ(data.DayCells[d], day);
      }
    }
  }
}

}  // namespace
}  // namespace tollwick
