// The anchored marker search against std::string_view::find, from every start position.
#include "intake/marker_finder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tollwick {
namespace {

void ExpectSameAsFind(const std::string& text, const std::string& marker) {
  const MarkerFinder finder(marker);
  for (size_t from = 0; from <= text.size() + 1; ++from)
    ASSERT_EQ(finder.Find(text, from), std::string_view(text).find(marker, from))
        << "marker \"" << marker << "\" from " << from << " in \"" << text << '"';
}

TEST(MarkerFinder, FixedAndRandomTexts) {
  const struct {
    const char* text;
    const char* marker;
  } cases[] = {
      // clang-format off
      {"", "<Row>"}, {"<Row>", "<Row>"}, {"<Ro", "<Row>"},
      {"Row><Row>", "<Row>"},  // an anchor before any possible start
      {"<RRow><Row>", "<Row>"}, {"<Data</Data>", "</Data>"},
      {"</Data></Data>", "<Data"},  // the anchor stands, the byte before it does not match
      {"</Worksheet>  </Worksheet>", "</Worksheet>"},
      {"abcabc", "bc"},  // no capital: anchored on the first byte
      {"<<<x<<", "<<"}, {"aXbXc", "X"},
      // clang-format on
  };
  for (const auto& c : cases) ExpectSameAsFind(c.text, c.marker);
  std::mt19937 rng(4242);
  const std::string markers[] = {
      "<Row>", "</Row>", "<Data", "</Data>", "</Worksheet>", "<Worksheet ss:Name=\"SKU detail\">",
      "ab",    "R",      "<R"};
  const std::string pieces[] = {
      "<",       "R", "Row",          ">", "/", "D", "Data", "a", "b", "<Row>", "</Row>", "<Data",
      "</Data>", "W", "</Worksheet>", " ", "x"};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (size_t n = rng() % 12; n > 0; --n) text += pieces[rng() % std::size(pieces)];
    ExpectSameAsFind(text, markers[rng() % std::size(markers)]);
  }
}

}  // namespace
}  // namespace tollwick
