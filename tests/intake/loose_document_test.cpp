// The block-at-a-time line-break removal against the reference, on random texts of every length
// up to a few dozen blocks, with breaks and NUL bytes at every kind of place, dense and sparse.
#include "intake/loose_document.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/literal_intake.h"

namespace tollwick {
namespace {

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

}  // namespace
}  // namespace tollwick
