#include "intake/loose_document.h"

#include <cstdint>
#include <cstring>

namespace tollwick {

namespace {

constexpr uint64_t kOnes = 0x0101010101010101u;
constexpr uint64_t kHighs = 0x8080808080808080u;

// Whether any of the eight bytes of `word` is 0 (exact, no false positives).
bool HasZeroByte(uint64_t word) {
  return ((word - kOnes) & ~word & kHighs) != 0;
}

bool HasLineBreak(uint64_t word) {
  return HasZeroByte(word ^ (kOnes * '\r')) || HasZeroByte(word ^ (kOnes * '\n'));
}

}  // namespace

size_t LooseDocumentInPlace(char* data, size_t size) {
  if (const void* nul = std::memchr(data, '\0', size))
    size = static_cast<size_t>(static_cast<const char*>(nul) - data);
  // The write position never passes the read position, so every byte is read before it can be
  // overwritten. Eight bytes without a line break move as one word; the others byte by byte.
  size_t out = 0, in = 0;
  while (in < size) {
    if (size - in >= 8) {
      uint64_t word;
      std::memcpy(&word, data + in, 8);
      if (!HasLineBreak(word)) {
        std::memcpy(data + out, &word, 8);
        out += 8;
        in += 8;
        continue;
      }
    }
    for (size_t end = in + 8 < size ? in + 8 : size; in < end; ++in) {
      char c = data[in];
      data[out] = c;
      out += static_cast<size_t>(c != '\r' && c != '\n');
    }
  }
  return out;
}

}  // namespace tollwick
