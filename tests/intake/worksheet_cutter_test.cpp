// The fast cutting, line-break removal and marker search against their word-for-word references.
#include "intake/worksheet_cutter.h"

#include <gtest/gtest.h>

#include <random>

#include "intake/loose_document.h"
#include "intake/marker_finder.h"
#include "intake/piece_cutter.h"
#include "intake/xml_references.h"
#include "support/checks.h"
#include "support/literal_intake.h"
#include "support/row_collector.h"
#include "support/test_support.h"

namespace tollwick {
namespace {

using literal::CutRow;

// Every piece up to the first empty one, the literal way and the fast way.
std::vector<std::string> Pieces(std::string text, const std::string& open, const std::string& close,
                                bool literal) {
  std::vector<std::string> out;
  PieceCutter cutter(text, open, close);
  do {
    std::string inner;
    if (literal) literal::ExtractBetween(text, open, close, text, inner);
    out.push_back(literal ? inner : std::string(cutter.Next()));
  } while (!out.back().empty() && out.size() < 1000);
  return out;
}

TEST(PieceCutter, MatchesLiteralCutting) {
  const std::pair<std::string, std::vector<std::string>> fixed[] = {
      {"<R<R<Row>a</Row>ow>b</Row>ow>c</Row>", {"a", "b", "c", ""}},  // markers formed by joins
      {"<Ro<Rx<Row>a</Row>w>b</Row>", {"a", ""}},                     // "<Rx" blocks the join
  };
  for (const auto& [text, pieces] : fixed) {
    EXPECT_EQ(Pieces(text, "<Row>", "</Row>", true), pieces) << text;
    EXPECT_EQ(Pieces(text, "<Row>", "</Row>", false), pieces) << text;
  }
  std::mt19937 rng(12345);
  const std::vector<std::string> letters = {"<", "<", "R", "o", "w", ">", "/", "x"};
  const std::vector<std::string> parts = {"<Row>", "</Row>", "<Ro", "w>",  "<R",   "ow>", "<",
                                          "Row>",  "a",      "b",   "<Rx", "</Ro", "<Row"};
  const std::tuple<std::string, std::string, const std::vector<std::string>*> setups[] = {
      {"<Row>", "</Row>", &parts}, {"<Row>", "</Row>", &letters}, {"<R", "w>", &letters},
      {"<", ">", &letters},        {"<Ro", "o", &letters},        {"<Row>", "w>", &parts}};
  for (int i = 0; i < 60000; ++i) {
    const auto& [open, close, from] = setups[i % std::size(setups)];
    std::string text = testing::RandomJoin(rng, *from, 40);
    ASSERT_EQ(Pieces(text, open, close, false), Pieces(text, open, close, true))
        << text << " open " << open << " close " << close;
  }
}

// Report-shaped documents with random marker fragments spliced in, as stored in an archive
// and as a loose file (cut at the first NUL, line breaks dropped).
TEST(WorksheetCutter, MatchesLiteralCuttingOnRandomDocuments) {
  // clang-format off
  const std::vector<std::string> fragments = {
      "<Worksheet ss:Name=\"SKU detail\">", "<Worksheet ss:Name=\"Purchase History\">",
      "</Worksheet>", "<Worksheet ss:Name=\"Purchase ", "History\">", "<Worksheet ss:Name=\"SKU ",
      "detail\">", "</Works", "heet>", "<Row>", "</Row>", "<Ro", "w>", "<R", "ow>", "<", ">",
      "<Row ss:Index=\"3\">", "<Data ss:Type=\"String\">", "<Data>", "<Data/>", "</Data>", "<Da",
      "ta ", "</Da", "ta>", "<Cell>", "</Cell>", "a", "x>y", "&amp;", " ", "\r\n", "<Row",
      "<Row\r\n>", std::string(1, '\0'), "&", "&#", "&#x", "4", "1;", "&lt;", "&#10;", "&#x1F600;"};
  // clang-format on
  std::mt19937 rng(99);
  for (int i = 0; i < 8000; ++i) {
    std::string document = testing::RandomJoin(rng, fragments, 120);
    if (i % 2 == 0) {
      std::vector<std::vector<std::string>> skus(rng() % 4, {"s", "t", "v", "d", "e", "m"});
      std::vector<std::vector<std::string>> sales(rng() % 4, {"s", "p", "3", "4", "5", "6", "7"});
      document = testing::MakeReport(skus, sales);
      for (int splice = rng() % 6; splice > 0; --splice)
        document.insert(rng() % (document.size() + 1), testing::RandomJoin(rng, fragments, 4));
    }
    std::string loose = document;
    loose.resize(LooseDocumentInPlace(loose.data(), loose.size()));
    ASSERT_EQ(loose, literal::LooseDocument(document));
    for (const std::string& text : {document, loose}) {
      testing::RowCollector rows;
      std::string writable = text;
      const CutFindings found = CutWorksheets(writable, rows);
      ASSERT_EQ(rows.rows, literal::CutWorksheets(text)) << text;
      ASSERT_EQ((literal::Findings{found.has_worksheet, found.attributed_rows}),
                literal::FindInDocument(text))
          << text;
    }
  }
}

// Values as XML means them, decoded in place and by the reference.
TEST(XmlReferences, ValuesAreDecodedInOnePass) {
  // Not characters XML allows, not references, or not written in lower case.
  const std::string kept =
      "&#X41;&AMP;&bogus;&#xD800;&#xDFFF;&#0;&#8;&#xFFFE;&#x110000;&#;&#x;"
      "&#99999999999999999999999;&#x100000000000041;a&#65";
  const std::pair<std::string, std::string> values[] = {
      {"Tips &amp; Tricks &lt;&gt;&quot;&apos;", "Tips & Tricks <>\"'"},
      {"&#65;&#x41;&#x4a;&#x4A;&#0000065;&#x000041;", "AAJJAA"},
      {"&#9;&#10;&#13;&#32;&#xD7FF;", "\t\n\r \xED\x9F\xBF"},
      {"&#xE000;&#xFFFD;&#x10000;&#x10FFFF;",
       "\xEE\x80\x80\xEF\xBF\xBD\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      {"&#x80;&#233;&#x2603;", "\xC2\x80\xC3\xA9\xE2\x98\x83"},
      {kept, kept},
      // One pass: what a reference gives is not read again; a lone '&' leaves the next byte.
      {"&amp;lt; &amp&amp; &bogus&lt; &#38&#38; &&&amp; &amp", "&lt; &amp& &bogus< &#38& &&& &amp"},
  };
  for (const auto& [raw, decoded] : values) {
    std::string text = raw;
    EXPECT_EQ(DecodeValue(text, text.data()), decoded) << raw;
    EXPECT_EQ(literal::DecodeReferences(raw), decoded) << raw << " (reference)";
  }
  // The decoding in place against the reference, on random texts of reference pieces.
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = {
      "&",   "&#", "&#x",   "#",    "x",      "X",      ";",    "a",    "0",
      "1",   "9",  "41",    "D800", "10FFFF", "110000", "F",    "ff",   "amp",
      "lt;", "gt", "quot;", "apos", "AMP;",   "&amp;",  "\xC2", "\x80", "00000000000000000000"};
  for (int i = 0; i < 50000; ++i) {
    std::string text = testing::RandomJoin(rng, pieces, 16);
    const std::string expected = literal::DecodeReferences(text);
    ASSERT_EQ(DecodeValue(text, text.data()), expected) << text;
  }
}

TEST(WorksheetCutter, ReportLayouts) {
  const std::string sku = "<Worksheet ss:Name=\"SKU detail\"><Row>head</Row>";
  const std::string sale = "<Worksheet ss:Name=\"Purchase History\"><Row>head</Row>";
  const std::string end = "</Worksheet>";
  auto row = [](std::string_view values) {
    std::string out = "<Row>";
    for (char v : values) out += "<Cell><Data ss:Type=\"String\">" + std::string(1, v) + "</Data>";
    return out + "</Row>";
  };
  const CutRow s6{false, {"1", "2", "3", "4", "5", "6"}},
      p7{true, {"1", "2", "3", "4", "5", "6", "7"}};
  const std::tuple<const char*, std::string, std::vector<CutRow>> cases[] = {
      {"purchases first", sale + row("1234567") + end + sku + row("123456") + end, {s6, p7}},
      {"product sheet runs to the purchase sheet's end",
       sku + row("123456") + sale + row("1234567") + end,
       {s6, s6}},
      {"too few values, extra values dropped", sku + row("12345") + row("1234567") + end, {s6}},
      {"an empty row ends the sheet", sku + "<Row></Row>" + row("123456") + end, {}},
      {"self-closing data swallows the next cell",
       sku + "<Row><Data/></Cell>" + row("123456").substr(5) + end,
       {{false, {"</Cell><Cell><Data ss:Type=\"String\">1", "2", "3", "4", "5", "6"}}}},
      {"purchase sheet straddles the cut-out product sheet",
       "<Worksheet ss:Name=\"Purchase " + sku + row("123456") + end + "History\"><Row>h</Row>" +
           row("1234567") + end,
       {s6, p7}},
      {"a data tag's '>' among the sheet's last 16 bytes",
       sku + row("12345").insert(190, "<Data ></Data>") + end,  // before its "</Row>"
       {{false, {"1", "2", "3", "4", "5", ""}}}},
      {"values decoded, in a row cut piece by piece too",
       sku + "<Row><Data>&lt;&#x41;</Data>" + row("23456").substr(5) + end + sale +
           "<Row><b<Data>&amp;</Data>" + row("234567").substr(5) + end,
       {{false, {"<A", "2", "3", "4", "5", "6"}}, {true, {"&", "2", "3", "4", "5", "6", "7"}}}},
  };
  for (const auto& [what, document, rows] : cases) {
    EXPECT_EQ(testing::CutRows(document), rows) << what;
    EXPECT_EQ(literal::CutWorksheets(document), rows) << what << " (reference)";
  }
}

// Line-break removal a block at a time, on texts dense and sparse in breaks and NULs.
TEST(LooseDocument, MatchesReferenceOnRandomTexts) {
  std::mt19937 rng(31337);
  const char bytes[] = {'a', '<', '\r', '\n', ' ', '\x8D', '\x8A'};
  for (int round = 0; round < 5000; ++round) {
    std::string text(rng() % (round % 3 == 0 ? 400 : 80), 'x');
    const unsigned sparse = round % 2 == 0 ? 1 : 12;  // clean blocks are common when sparse
    for (char& c : text) c = rng() % sparse == 0 ? bytes[rng() % std::size(bytes)] : 'a';
    if (rng() % 8 == 0 && !text.empty()) text[rng() % text.size()] = '\0';
    std::string buffer = text;
    buffer.resize(LooseDocumentInPlace(buffer.data(), buffer.size()));
    ASSERT_EQ(buffer, literal::LooseDocument(text)) << "round " << round;
  }
}

// The anchored marker search against std::string_view::find, from every start position: anchors
// before any possible start, anchors whose bytes before do not match, markers without a capital.
TEST(MarkerFinder, MatchesFindOnRandomTexts) {
  std::mt19937 rng(4242);
  const std::string markers[] = {
      "<Row>", "</Row>", "<Data", "</Data>", "</Worksheet>", "<Worksheet ss:Name=\"SKU detail\">",
      "ab",    "R",      "<R",    "<<"};
  const std::vector<std::string> pieces = {
      "<",       "R", "Row",          ">", "/", "D", "Data", "a", "b", "<Row>", "</Row>", "<Data",
      "</Data>", "W", "</Worksheet>", " ", "x"};
  for (int round = 0; round < 3000; ++round) {
    const std::string text = testing::RandomJoin(rng, pieces, 11);
    const std::string& marker = markers[rng() % std::size(markers)];
    const MarkerFinder finder(marker);
    for (size_t from = 0; from <= text.size() + 1; ++from)
      ASSERT_EQ(finder.Find(text, from), std::string_view(text).find(marker, from))
          << "marker \"" << marker << "\" from " << from << " in \"" << text << '"';
  }
}

}  // namespace
}  // namespace tollwick
