// The fast cutting against the word-for-word reference, on fixed cases and on random texts
// built from fragments of the markers.
#include "intake/worksheet_cutter.h"

#include <gtest/gtest.h>

#include <random>

#include "intake/loose_document.h"
#include "intake/piece_cutter.h"
#include "support/literal_intake.h"
#include "support/test_support.h"

namespace tollwick {

void PrintTo(const CutRow& row, std::ostream* os) {
  *os << (row.purchase ? "sale{" : "sku{");
  for (const auto& v : row.values) *os << '"' << v << "\" ";
  *os << "}";
}

namespace {

std::vector<CutRow> Reference(const std::string& document) {
  std::vector<CutRow> out;
  for (auto& row : literal::CutWorksheets(document)) out.push_back({row.purchase, row.values});
  return out;
}

// Every piece a sequence of ExtractBetween calls gives, up to the first empty one.
std::vector<std::string> LiteralPieces(std::string text, const std::string& open,
                                       const std::string& close) {
  std::vector<std::string> out;
  for (int guard = 0; guard < 10000; ++guard) {
    std::string inner;
    literal::ExtractBetween(text, open, close, text, inner);
    out.push_back(inner);
    if (inner.empty()) break;
  }
  return out;
}

std::vector<std::string> FastPieces(const std::string& text, const std::string& open,
                                    const std::string& close) {
  std::vector<std::string> out;
  PieceCutter cutter(text, open, close);
  for (int guard = 0; guard < 10000; ++guard) {
    out.emplace_back(cutter.Next());
    if (out.back().empty()) break;
  }
  return out;
}

TEST(PieceCutter, MatchesLiteralCuttingOnFixedTexts) {
  struct Case {
    std::string text;
    std::vector<std::string> pieces;  // up to and including the first empty one
  };
  const Case cases[] = {
      {"", {""}},
      {"<Row>a</Row><Row>b</Row>", {"a", "b", ""}},
      {"<Ro<Row>a</Row>w>b</Row>", {"a", "b", ""}},  // marker formed across a join
      {"<R<Row>a</Row>o<Row>b</Row>w>c</Row>", {"a", "b", "c", ""}},
      {"<<Row>a</Row>Row>b</Row>", {"a", "b", ""}},
      {"<R<R<Row>a</Row>ow>b</Row>ow>c</Row>", {"a", "b", "c", ""}},
      {"<Row x><Row>a</Row>", {"a", ""}},  // attribute: not a row start
      {"<Row></Row><Row>b</Row>", {""}},   // empty piece
      {"<Row>a", {""}},                    // no close marker
      {"</Row><Row>a</Row>", {"a", ""}},
      {"<Row>a<Row>b</Row>c</Row>", {"a<Row>b", ""}},
      {"<Ro<Rx<Row>a</Row>w>b</Row>", {"a", ""}},  // "<Rx" blocks the join
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LiteralPieces(c.text, "<Row>", "</Row>"), c.pieces) << c.text;
    EXPECT_EQ(FastPieces(c.text, "<Row>", "</Row>"), c.pieces) << c.text;
  }
}

TEST(PieceCutter, MatchesLiteralCuttingOnRandomTexts) {
  std::mt19937 rng(12345);
  // Single characters for the small markers, marker pieces for the row markers: both make
  // markers that form across the places where pieces were removed.
  const std::vector<std::string> letters = {"<", "<", "R", "o", "w", ">", "/", "x"};
  const std::vector<std::string> pieces = {"<Row>", "</Row>", "<Ro", "w>",  "<R",   "ow>", "<",
                                           "Row>",  "a",      "b",   "<Rx", "</Ro", "<Row"};
  struct Setup {
    std::string open, close;
    const std::vector<std::string>* parts;
  };
  const Setup setups[] = {{"<Row>", "</Row>", &pieces}, {"<Row>", "</Row>", &letters},
                          {"<R", "w>", &letters},       {"<", ">", &letters},
                          {"<Ro", "o", &letters},       {"<Row>", "w>", &pieces}};
  for (int iteration = 0; iteration < 60000; ++iteration) {
    const Setup& setup = setups[iteration % std::size(setups)];
    std::string text;
    for (size_t i = rng() % 40; i > 0; --i) text += (*setup.parts)[rng() % setup.parts->size()];
    ASSERT_EQ(FastPieces(text, setup.open, setup.close),
              LiteralPieces(text, setup.open, setup.close))
        << "text: " << text << " open: " << setup.open << " close: " << setup.close;
  }
}

const char* const kFragments[] = {
    "<Worksheet ss:Name=\"SKU detail\">",
    "<Worksheet ss:Name=\"Purchase History\">",
    "</Worksheet>",
    "<Worksheet ss:Name=\"Purchase ",
    "History\">",
    "<Worksheet ss:Name=\"SKU ",
    "detail\">",
    "</Works",
    "heet>",
    "<Row>",
    "</Row>",
    "<Ro",
    "w>",
    "<R",
    "ow>",
    "<",
    ">",
    "<Row ss:Index=\"3\">",
    "<Data ss:Type=\"String\">",
    "<Data>",
    "<Data/>",
    "</Data>",
    "<Da",
    "ta ",
    "</Da",
    "ta>",
    "<Cell>",
    "</Cell>",
    "a",
    "b",
    "x>y",
    "&amp;",
    " ",
    "\r\n",
    "\0",
};

std::string RandomDocument(std::mt19937& rng, size_t fragments) {
  std::string text;
  size_t n = rng() % fragments;
  for (size_t i = 0; i < n; ++i) {
    const char* f = kFragments[rng() % std::size(kFragments)];
    text += *f == '\0' ? std::string(1, '\0') : std::string(f);
  }
  return text;
}

TEST(WorksheetCutter, MatchesLiteralCuttingOnRandomDocuments) {
  std::mt19937 rng(777);
  for (int iteration = 0; iteration < 30000; ++iteration) {
    std::string document = RandomDocument(rng, iteration % 3 == 0 ? 40 : 120);
    ASSERT_EQ(CutWorksheets(document), Reference(document)) << document;
  }
}

// Documents shaped like reports, with random fragments spliced in at random places.
TEST(WorksheetCutter, MatchesLiteralCuttingOnDisturbedReports) {
  std::mt19937 rng(99);
  for (int iteration = 0; iteration < 3000; ++iteration) {
    std::vector<std::vector<std::string>> skus, sales;
    for (int i = rng() % 4; i > 0; --i) skus.push_back({"s", "t", "v", "d", "Professional", "m"});
    for (int i = rng() % 4; i > 0; --i)
      sales.push_back({"s", "p" + std::to_string(i), "3", "4", "5", "2010-03-05T00:00:00", "7"});
    std::string document = testing::MakeReport(skus, sales);
    for (int splice = rng() % 6; splice > 0; --splice)
      document.insert(rng() % (document.size() + 1), RandomDocument(rng, 4));
    ASSERT_EQ(CutWorksheets(document), Reference(document)) << document;
    std::string loose = document;
    loose.resize(LooseDocumentInPlace(loose.data(), loose.size()));
    ASSERT_EQ(loose, literal::LooseDocument(document));
    ASSERT_EQ(CutWorksheets(loose), Reference(loose)) << loose;
  }
}

const std::string kSku = "<Worksheet ss:Name=\"SKU detail\">";
const std::string kSale = "<Worksheet ss:Name=\"Purchase History\">";
const std::string kEnd = "</Worksheet>";
const std::string kHead = "<Row>header</Row>";

std::string Row(const std::vector<std::string>& values) {
  std::string row = "<Row>";
  for (const auto& v : values) row += "<Cell><Data ss:Type=\"String\">" + v + "</Data></Cell>";
  return row + "</Row>";
}

CutRow Sku(std::vector<std::string> v) {
  return {false, std::move(v)};
}
CutRow Sale(std::vector<std::string> v) {
  return {true, std::move(v)};
}

TEST(WorksheetCutter, Quirks) {
  const std::vector<std::string> six = {"1", "2", "3", "4", "5", "6"};
  const std::vector<std::string> seven = {"1", "2", "3", "4", "5", "6", "7"};
  struct Case {
    const char* name;
    std::string document;
    std::vector<CutRow> rows;
  };
  const Case cases[] = {
      {"empty", "", {}},
      {"header row only", kSku + kHead + kEnd + kSale + kHead + kEnd, {}},
      {"both sheets",
       kSku + kHead + Row(six) + kEnd + kSale + kHead + Row(seven) + kEnd,
       {Sku(six), Sale(seven)}},
      {"purchases before products in the text",
       kSale + kHead + Row(seven) + kEnd + kSku + kHead + Row(six) + kEnd,
       {Sku(six), Sale(seven)}},
      {"no product sheet", kSale + kHead + Row(seven) + kEnd, {Sale(seven)}},
      {"no purchase sheet", kSku + kHead + Row(six) + kEnd, {Sku(six)}},
      {"product sheet runs to the purchase sheet's end",
       kSku + kHead + Row(six) + kSale + kHead + Row(seven) + kEnd,
       {Sku(six), Sku(six)}},
      {"other spelling of the start tag",
       "<Worksheet ss:Name='SKU detail'>" + kHead + Row(six) + kEnd,
       {}},
      {"second product sheet ignored",
       kSku + kHead + Row(six) + kEnd + kSku + kHead + Row({"a", "b", "c", "d", "e", "f"}) + kEnd,
       {Sku(six)}},
      {"too few values",
       kSku + kHead + Row({"1", "2", "3", "4", "5"}) + kEnd + kSale + kHead + Row(six) + kEnd,
       {}},
      {"extra values dropped",
       kSku + kHead + Row({"1", "2", "3", "4", "5", "6", "7", "8", "9"}) + kEnd,
       {Sku(six)}},
      {"empty row ends the sheet only",
       kSku + kHead + "<Row></Row>" + Row(six) + kEnd + kSale + kHead + Row(seven) + kEnd,
       {Sale(seven)}},
      {"row with attribute passed over",
       kSku + kHead + "<Row ss:Height=\"3\">" + Row(six).substr(5) +
           Row({"a", "b", "c", "d", "e", "f"}) + kEnd,
       {Sku({"a", "b", "c", "d", "e", "f"})}},
      {"lower-case row is no row", kSku + kHead + "<row>" + Row(six).substr(5) + kEnd, {}},
      {"empty data counts",
       kSku + kHead + Row({"1", "", "3", "4", "5", "6"}) + kEnd,
       {Sku({"1", "", "3", "4", "5", "6"})}},
      {"cell without data shifts values",
       kSku + kHead + "<Row><Cell/>" + Row({"1", "2", "3", "4", "5", "6", "7"}).substr(5) + kEnd,
       {Sku({"1", "2", "3", "4", "5", "6"})}},
      {"self-closing data swallows the next cell",
       kSku + kHead + "<Row><Cell><Data ss:Type=\"String\"/></Cell>" +
           Row({"1", "2", "3", "4", "5", "6"}).substr(5) + kEnd,
       {Sku({"</Cell><Cell><Data ss:Type=\"String\">1", "2", "3", "4", "5", "6"})}},
      {"value keeps later '>' and entities",
       kSku + kHead + Row({"a>b", "&amp;", " x ", "4", "5", "6"}) + kEnd,
       {Sku({"a>b", "&amp;", " x ", "4", "5", "6"})}},
      {"data without '>' taken whole", kSku + kHead + "<Row><Data</Data>x</Row>" + kEnd, {}},
      {"purchase sheet straddles the cut-out product sheet",
       "<Worksheet ss:Name=\"Purchase " + kSku + kHead + Row(six) + kEnd + "History\">" + kHead +
           Row(seven) + kEnd,
       {Sku(six), Sale(seven)}},
      {"purchase sheet found before the product sheet's place",
       kSale + kHead + Row(seven) + kSku + kHead + Row(six) + kEnd +
           Row({"a", "b", "c", "d", "e", "f", "g"}) + kEnd,
       {Sku(six), Sale(seven), Sale({"a", "b", "c", "d", "e", "f", "g"})}},
      {"UTF-16 text", std::string("<\0W\0", 4), {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CutWorksheets(c.document), c.rows) << c.name;
    EXPECT_EQ(Reference(c.document), c.rows) << c.name << " (reference)";
  }
}

TEST(LooseDocument, StopsAtNulAndDropsLineBreaks) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"abc", "abc"},
      {"a\r\nb\rc\nd", "abcd"},
      {"\r\n\r\n", ""},
      {std::string("ab\0c\r\n", 6), "ab"},
      {std::string("\0abc", 4), ""},
  };
  for (const auto& [in, out] : cases) {
    std::string buffer = in;
    buffer.resize(LooseDocumentInPlace(buffer.data(), buffer.size()));
    EXPECT_EQ(buffer, out);
    EXPECT_EQ(literal::LooseDocument(in), out);
  }
}

}  // namespace
}  // namespace tollwick
